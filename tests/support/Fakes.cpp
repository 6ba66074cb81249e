#include "support/Fakes.h"

#include "app/variables.h"
#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <numeric>

namespace fakes {

AppFolder::AppFolder() {
    Q_ASSERT(dir_.isValid());
}

QString AppFolder::file(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void AppFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file(name)));
}

QByteArray AppFolder::read(const QString& name) const {
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QStringList AppFolder::lines(const QString& name) const {
    return platform::splitLines(QString::fromUtf8(read(name)));
}

bool AppFolder::has(const QString& name) const {
    return QFile::exists(file(name));
}

void Sleep::sleep(unsigned milliseconds) {
    calls.append(milliseconds);
    if (onSleep)
        onSleep();
}

unsigned Sleep::total() const {
    return std::accumulate(calls.begin(), calls.end(), 0u);
}

int MessageBox::show(const QString& text, const QString& title, int style) {
    const Shown box{text, title, style};
    shown.append(box);
    if (onShow)
        onShow(box);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return style == kYesNo ? kYes : kOk;
}

std::optional<platform::MemoryFigures> MemoryStatus::query() {
    ++queries;
    return figures;
}

std::optional<std::uint64_t> DriveSpace::freeBytes(char letter) {
    asked.append(letter);
    const auto it = freeBytesByLetter.find(letter);
    if (it == freeBytesByLetter.end())
        return std::nullopt;
    return it->second;
}

namespace {
class FakeRunning final : public platform::RunningCommand {
public:
    FakeRunning(int busyPolls, QString file, QByteArray finalListing)
        : busyPolls_(busyPolls), file_(std::move(file)), final_(std::move(finalListing)) {}
    bool hasEnded() override {
        if (busyPolls_-- > 0)
            return false;
        if (!final_.isEmpty()) {
            QFile f(file_);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                f.write(final_) != final_.size())
                qFatal("cannot write %s", qPrintable(file_));
            final_.clear();
        }
        return true;
    }

private:
    int busyPolls_;
    QString file_;
    QByteArray final_;
};
} // namespace

std::unique_ptr<platform::RunningCommand>
CommandStart::startServiceListing(const std::filesystem::path& folder,
                                  const std::string& outputName) {
    if (!canStart)
        return nullptr;
    const QString dir = QString::fromStdString(folder.string());
    const QString name = QString::fromStdString(outputName);
    started.append({dir, name});
    const QString file = QDir(dir).filePath(name);
    if (createsFile) {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(listing);
    }
    return std::make_unique<FakeRunning>(busyPolls, file, finalListing);
}

QByteArray crlf(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines)
        out += line.toUtf8() + "\r\n";
    return out;
}

QByteArray listingOf(const QStringList& names) {
    QByteArray out = QStringLiteral("次のサービスが開始されています:\r\n\r\n").toUtf8();
    for (const QString& name : names)
        out += name.toUtf8() + "\r\n";
    out += QStringLiteral("\r\nコマンドは正常に終了しました。\r\n").toUtf8();
    return out;
}

Environment::Environment() {
    Settings = SettingsRecord{};
}

Environment::~Environment() {
    Settings = SettingsRecord{};
}

} // namespace fakes
