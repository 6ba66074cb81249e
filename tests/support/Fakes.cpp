#include "support/Fakes.h"

#include "platform/Files.h"
#include "settings/API.h"
#include <QTcpSocket>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTimer>
#include <algorithm>
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

namespace fakes {

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

class FakeRunning final : public platform::RunningCommand {
public:
    FakeRunning(int busyPolls, QString file, QByteArray finalListing)
        : busyPolls_(busyPolls), file_(std::move(file)), final_(std::move(finalListing)) {}
    bool hasEnded() override {
        if (busyPolls_-- > 0)
            return false;
        if (!final_.isEmpty())
            writeFile(file_, std::exchange(final_, {}));
        return true;
    }

private:
    int busyPolls_;
    QString file_;
    QByteArray final_;
};

} // namespace

QString AppFolder::file(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void AppFolder::write(const QString& name, const QByteArray& bytes) const {
    writeFile(file(name), bytes);
}

QByteArray AppFolder::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList AppFolder::lines(const QString& name) const {
    return platform::splitLines(systemText(read(name)));
}

bool AppFolder::has(const QString& name) const {
    return QFile::exists(file(name));
}

int MessageBox::show(const QString& text, const QString& title, int style) {
    shown.append({text, title, style});
    if (whileOpen || openFor.count() > 0) {
        const Shown box = shown.last();
        ++open;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            if (whileOpen)
                whileOpen(box);
            QTimer::singleShot(openFor, &loop, &QEventLoop::quit);
        });
        loop.exec();
        --open;
    }
    if (!answers.isEmpty())
        return answers.takeFirst();
    return style == kYesNo ? kYes : kOk;
}

QString MessageBox::log() const {
    QString text;
    for (const Shown& box : shown)
        text += box.title + u'|' + box.text +
                (box.style == kOkOnly ? QString() : QStringLiteral("|style %1").arg(box.style)) +
                u'/';
    return text;
}

MailFace::MailFace(MessageBox& boxes)
    : status(engine, [&boxes](const Notice& box) {
          boxes.show(box.text, box.title, platform::MessageBox::kOkOnly);
      }) {
    QObject::connect(&engine, &Engine::waitingChanged, &engine,
                     [this](int count) { waitingReports = count; });
}

int MailFace::sockets() const {
    return int(engine.queue.findChildren<QTcpSocket*>().size());
}

std::unique_ptr<platform::RunningCommand>
CommandStart::startServiceListing(const std::filesystem::path& folder,
                                  const std::string& outputName) {
    if (!canStart)
        return nullptr;
    const QString file =
        QDir(QString::fromStdString(folder.string())).filePath(QString::fromStdString(outputName));
    started.append(file);
    if (createsFile)
        writeFile(file, listing);
    return std::make_unique<FakeRunning>(busyPolls, file, finalListing);
}

FullDisk::FullDisk(qint64 bytes) {
#ifdef Q_OS_LINUX
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    saved_ = qint64(limit.rlim_cur);
    // Past the limit a write fails instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = rlim_t(bytes);
    works_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
#else
    Q_UNUSED(bytes);
#endif
}

FullDisk::~FullDisk() {
#ifdef Q_OS_LINUX
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(saved_);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
}

QStringList numberLines(const QList<qint64>& values) {
    QStringList lines;
    for (const qint64 value : values)
        lines << (value < 0 ? "-" : " ") + QString::number(qAbs(value)) + " ";
    return lines;
}

QByteArray systemBytes(const QString& text) {
    QStringEncoder encode(QStringConverter::System);
    const QByteArray bytes = encode(text);
    // A character that the code page lacks would pass as a substitute.
    if (encode.hasError())
        qFatal("not in the system code page: %s", qUtf8Printable(text));
    return bytes;
}

QString systemText(const QByteArray& bytes) {
    QStringDecoder decode(QStringConverter::System);
    return decode(bytes);
}

QByteArray crlf(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines)
        out += systemBytes(line + "\r\n");
    return out;
}

void writeLines(const QString& path, const QStringList& lines) {
    writeFile(path, crlf(lines));
}

Ran run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment, const QString& input) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!input.isEmpty())
        process.setStandardInputFile(input);
    process.start(program, arguments);
    Ran ran;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        ran.code = process.exitCode();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

QStringList settingsLines(const QString& name, const SettingsRecord& record) {
    const QString file = name.toLower();
    return file == API::kCheckFile  ? API::CheckSettingsLines(record)
           : file == API::kSmtpFile ? API::SmtpSettingsLines(record)
                                    : API::SendTimeSettingsLines(record);
}

QByteArray listingOf(const QStringList& names) {
    return crlf(QStringList{"次のサービスが開始されています:", ""} + names +
                QStringList{"", "コマンドは正常に終了しました。"});
}

} // namespace fakes
