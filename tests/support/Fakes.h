#pragma once

// Fakes of the operating-system services. Each records what it was asked; the
// Environment puts all of them in place, over a real temporary application
// folder, for the life of one test.

#include "engine/Engine.h"
#include "engine/SendStatus.h"
#include "platform/AppFolder.h"
#include "platform/Clock.h"
#include "platform/CommandStart.h"
#include "platform/DriveSpace.h"
#include "platform/MemoryStatus.h"
#include "platform/MessageBox.h"
#include "platform/Service.h"
#include "platform/Sleep.h"
#include "platform/SocketObject.h"
#include "settings/variables.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <numeric>

namespace fakes {

class AppFolder final : public platform::AppFolder {
public:
    QString path() const override { return dir_.path(); }
    // Full path of a file in the folder.
    QString file(const QString& name) const;
    // Writes raw bytes into a file of the folder.
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;
    // The lines of a file of the folder, read in the system code page; none if
    // it is missing.
    QStringList lines(const QString& name) const;
    bool has(const QString& name) const;

private:
    QTemporaryDir dir_;
};

class Clock final : public platform::Clock {
public:
    // What every reading answers.
    QDateTime at{QDate(2026, 12, 7), QTime(0, 0)};
    QDateTime now() const override { return at; }
    void set(int hour, int minute) { at.setTime(QTime(hour, minute)); }
};

class Sleep final : public platform::Sleep {
public:
    QList<unsigned> calls;
    // Runs at every sleep, after it is recorded: lets time "pass" in a test.
    std::function<void()> onSleep;
    void sleep(unsigned milliseconds) override {
        calls.append(milliseconds);
        if (onSleep)
            onSleep();
    }
    unsigned total() const { return std::accumulate(calls.begin(), calls.end(), 0u); }
};

class MessageBox final : public platform::MessageBox {
public:
    struct Shown {
        QString text, title;
        int style;
    };
    QList<Shown> shown;
    // Answers taken in order; when none is left a box answers with its default.
    QList<int> answers;
    // Like a real modal box, a box can stay open for a while and run an event
    // loop of its own, which delivers ticks, socket events and time-outs:
    // whileOpen runs inside that loop as the box opens (it may wait for
    // things to happen), and the box closes `openFor` after it returns. With
    // neither, a box returns at once, as on the offscreen platform.
    std::chrono::milliseconds openFor{0};
    std::function<void(const Shown&)> whileOpen;
    int open = 0; // boxes open now
    int show(const QString& text, const QString& title, int style) override;
    // The boxes shown, each as "title|text/" ("title|text|style N/" when it
    // has more than an OK button).
    QString log() const;
};

class MemoryStatus final : public platform::MemoryStatus {
public:
    std::optional<platform::MemoryFigures> figures = platform::MemoryFigures{};
    std::optional<platform::MemoryFigures> query() override { return figures; }
};

class DriveSpace final : public platform::DriveSpace {
public:
    // Drives that exist, by letter; every other letter names no drive. Each
    // is twice as large as its free space.
    std::map<char, std::uint64_t> freeBytesByLetter;
    std::optional<platform::VolumeBytes> volume(char letter) override {
        const auto it = freeBytesByLetter.find(letter);
        if (it == freeBytesByLetter.end())
            return std::nullopt;
        return platform::VolumeBytes{it->second, 2 * it->second};
    }
};

// Starts no process: writes `listing` into the named file at once, as the
// redirection of a real command would create it.
class CommandStart final : public platform::CommandStart {
public:
    QStringList started; // the output file of each start
    QByteArray listing;
    bool canStart = true;    // false: the command cannot be started
    bool createsFile = true; // false: the command never creates its file
    // How many hasEnded() calls answer false before the command has ended.
    int busyPolls = 0;
    // When not empty, written over the file once the command has ended: what
    // the file held until then was a listing still being written.
    QByteArray finalListing;
    std::unique_ptr<platform::RunningCommand>
    startServiceListing(const std::filesystem::path& folder,
                        const std::string& outputName) override;
};

// The engine with the face of the tests: the status text and the test-send
// button as a window shows them, the boxes through the fake message box
// (which can stay open and run an event loop, as a real one does), and how
// many reports wait.
struct MailFace {
    explicit MailFace(MessageBox& boxes);
    Engine engine;
    SendStatus status;
    int waitingReports = 0;
    // The sockets of the deliveries that still exist.
    int sockets() const;
};

// A full disk, for the life of the object: every write of the process is cut
// short after `bytes` (the file-size limit of Linux; other systems have none
// for a process, and `works` is false there).
class FullDisk {
public:
    explicit FullDisk(qint64 bytes);
    ~FullDisk();
    bool works() const { return works_; }

private:
    bool works_ = false;
    qint64 saved_ = 0;
};

// Numbers as the settings files hold them, one a line: a blank or a minus
// before the digits, a blank after.
QStringList numberLines(const QList<qint64>& values);

// Text in the system code page, as the program's files and socket carry it:
// Shift-JIS on a Japanese Windows, UTF-8 on a usual Linux. A test that states
// bytes states them through these, so it holds on either system.
QByteArray systemBytes(const QString& text);
QString systemText(const QByteArray& bytes);

// Lines joined with CR LF after each, in the system code page: a settings or
// capture file.
QByteArray crlf(const QStringList& lines);
// Writes them into the file at `path`; a test that cannot write its own file
// stops there.
void writeLines(const QString& path, const QStringList& lines);

// A program run to its end, of a minute at the most (the tools the tests run
// answer within seconds): its exit code, -1 when it did not end by itself.
struct Ran {
    int code = -1;
    QByteArray out, err;
    bool ok() const { return code == 0; }
};
Ran run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
        const QString& input = {});

// The lines of the settings file `name` (check.ini, smtp.ini or sendtime.ini,
// in any case) that hold `record`, as the program's writers lay them out.
QStringList settingsLines(const QString& name, const SettingsRecord& record);

// A listing in the layout of the system's: heading, empty line, the names
// (given with their indentation), empty line, closing line; CR LF ends.
QByteArray listingOf(const QStringList& names);

// All fakes in place, over a fresh temporary application folder, and an
// empty settings record. Construct one per test function.
struct Environment {
    Environment() { Settings = SettingsRecord{}; }
    ~Environment() { Settings = SettingsRecord{}; }
    AppFolder folder;
    Clock clock;
    Sleep sleep;
    MessageBox messageBox;
    MemoryStatus memory;
    DriveSpace drives;
    CommandStart command;

private:
    platform::ScopedOverride<platform::AppFolder> folderOverride_{folder};
    platform::ScopedOverride<platform::Clock> clockOverride_{clock};
    platform::ScopedOverride<platform::Sleep> sleepOverride_{sleep};
    platform::ScopedOverride<platform::MessageBox> messageBoxOverride_{messageBox};
    platform::ScopedOverride<platform::MemoryStatus> memoryOverride_{memory};
    platform::ScopedOverride<platform::DriveSpace> drivesOverride_{drives};
    platform::ScopedOverride<platform::CommandStart> commandOverride_{command};
};

} // namespace fakes
