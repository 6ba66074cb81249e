#include "app/API.h"

#include "app/variables.h"
#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/Service.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace API {

LoadError::LoadError(QString file_, int line_, QString fault_)
    : std::runtime_error(
          QStringLiteral("%1 line %2: %3").arg(file_).arg(line_).arg(fault_).toStdString()),
      file(std::move(file_)), line(line_), fault(std::move(fault_)) {}

QString LoadError::message() const {
    if (line == 0)
        return QStringLiteral("設定ファイル %1 を読み込めません: %2").arg(file, fault);
    return QStringLiteral("設定ファイル %1 の %2 行目を読み込めません: %3").arg(file).arg(line).arg(fault);
}

QString FormatNumberLine(std::int64_t value) {
    if (value < 0)
        return QStringLiteral("-%1 ").arg(QString::number(value).mid(1));
    return QStringLiteral(" %1 ").arg(value);
}

std::optional<std::int64_t> ReadNumberLine(const QString& line) {
    static const QRegularExpression decimal(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)$)"));
    const QString text = line.trimmed();
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    const double value = std::floor(text.toDouble());
    // Far beyond any field's width; keeps the conversion below defined.
    constexpr double kLimit = 9.0e15;
    if (!std::isfinite(value) || value > kLimit || value < -kLimit)
        return value < 0 ? std::numeric_limits<std::int64_t>::min()
                         : std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(value);
}

bool SettingsFileExists(const QString& fileName) {
    return platform::use<platform::Files>().exists(platform::appFile(fileName));
}

namespace {

// Reads a settings file line by line, failing with the line's number.
class LineReader {
public:
    explicit LineReader(const QString& fileName) : file_(fileName) {
        auto lines = platform::use<platform::Files>().readLines(platform::appFile(fileName));
        if (!lines)
            throw LoadError(file_, 0, QStringLiteral("ファイルを開けません"));
        lines_ = std::move(*lines);
    }

    bool atEnd() const { return next_ >= lines_.size(); }
    int lineNumber() const { return static_cast<int>(next_); }

    QString text() {
        if (atEnd())
            throw LoadError(file_, lineNumber() + 1, QStringLiteral("ファイルが途中で終わっています"));
        return lines_[next_++];
    }

    template <class Field> void number(Field& field) {
        const QString line = text();
        if (line.trimmed().isEmpty())
            throw LoadError(file_, lineNumber(), QStringLiteral("数値の行が空です"));
        const auto value = ReadNumberLine(line);
        if (!value)
            throw LoadError(file_, lineNumber(), QStringLiteral("数値ではありません"));
        constexpr auto lo = std::numeric_limits<Field>::min();
        constexpr auto hi = std::numeric_limits<Field>::max();
        if (*value < lo || *value > hi)
            throw LoadError(file_, lineNumber(),
                            QStringLiteral("値が範囲外です（%1～%2）").arg(lo).arg(hi));
        field = static_cast<Field>(*value);
    }

private:
    QString file_;
    QStringList lines_;
    qsizetype next_ = 0;
};

// A line end inside a value cannot be written: the next load would read the
// rest of that value as the following line, and every later line one off.
bool writeSettingsFile(const QString& fileName, const QStringList& lines) {
    for (const QString& line : lines) {
        if (HoldsLineBreak(line))
            return false;
    }
    return platform::use<platform::Files>().writeLines(platform::appFile(fileName), lines);
}

} // namespace

bool HoldsLineBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

void LoadCheckSettings() {
    LineReader in(kCheckFile);
    auto& s = Settings;
    in.number(s.driveCheck1);
    in.number(s.driveCheck2);
    in.number(s.driveCheck3);
    in.number(s.driveIndex1);
    in.number(s.driveIndex2);
    in.number(s.driveIndex3);
    in.number(s.driveLimitMB1);
    in.number(s.driveLimitMB2);
    in.number(s.driveLimitMB3);
    in.number(s.memoryCheck);
    in.number(s.memoryLimitMB);
    in.number(s.swapLimitMB);
    s.watchServices.fill(QString());
    s.watchServiceCount = 0;
    while (!in.atEnd()) {
        if (s.watchServiceCount == kWatchServiceSlots)
            throw LoadError(kCheckFile, in.lineNumber() + 1,
                            QStringLiteral("サービス名が %1 個を超えています").arg(kWatchServiceSlots));
        s.watchServices[s.watchServiceCount] = in.text();
        ++s.watchServiceCount;
    }
}

void LoadSmtpSettings() {
    LineReader in(kSmtpFile);
    auto& s = Settings;
    s.smtpServer = in.text();
    s.mailFrom = in.text();
    s.mailTo = in.text();
    s.mailSubject = in.text();
    in.number(s.showDetails);
    in.number(s.showNGDetails);
}

void LoadSendTimeSettings() {
    LineReader in(kSendTimeFile);
    for (int h = 0; h < kHoursPerDay; ++h)
        in.number(Settings.sendHours[h]);
    Settings.sendMinute = in.text();
}

QStringList CheckSettingsLines() {
    const auto& s = Settings;
    QStringList lines;
    for (std::int64_t v : {std::int64_t{s.driveCheck1}, std::int64_t{s.driveCheck2},
                           std::int64_t{s.driveCheck3}, std::int64_t{s.driveIndex1},
                           std::int64_t{s.driveIndex2}, std::int64_t{s.driveIndex3},
                           std::int64_t{s.driveLimitMB1}, std::int64_t{s.driveLimitMB2},
                           std::int64_t{s.driveLimitMB3}, std::int64_t{s.memoryCheck},
                           std::int64_t{s.memoryLimitMB}, std::int64_t{s.swapLimitMB}})
        lines.append(FormatNumberLine(v));
    const int count = std::clamp<int>(s.watchServiceCount, 0, kWatchServiceSlots);
    for (int i = 0; i < count; ++i)
        lines.append(s.watchServices[i]);
    return lines;
}

QStringList SmtpSettingsLines() {
    const auto& s = Settings;
    return {s.smtpServer, s.mailFrom, s.mailTo, s.mailSubject, FormatNumberLine(s.showDetails),
            FormatNumberLine(s.showNGDetails)};
}

QStringList SendTimeSettingsLines() {
    QStringList lines;
    for (int h = 0; h < kHoursPerDay; ++h)
        lines.append(FormatNumberLine(Settings.sendHours[h]));
    lines.append(Settings.sendMinute);
    return lines;
}

bool WriteCheckSettings() {
    return writeSettingsFile(kCheckFile, CheckSettingsLines());
}

bool WriteSmtpSettings() {
    return writeSettingsFile(kSmtpFile, SmtpSettingsLines());
}

bool WriteSendTimeSettings() {
    return writeSettingsFile(kSendTimeFile, SendTimeSettingsLines());
}

} // namespace API
