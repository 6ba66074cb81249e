#include "settings/API.h"

#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "settings/variables.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <concepts>
#include <limits>

namespace API {

LoadError::LoadError(QString file_, int line_, QString fault_)
    : std::runtime_error(
          QStringLiteral("%1 line %2: %3").arg(file_).arg(line_).arg(fault_).toStdString()),
      file(std::move(file_)), line(line_), fault(std::move(fault_)) {}

QString LoadError::message() const {
    if (line == 0)
        return QStringLiteral("設定ファイル %1 を読み込めません: %2").arg(file, fault);
    return QStringLiteral("設定ファイル %1 の %2 行目を読み込めません: %3")
        .arg(file)
        .arg(line)
        .arg(fault);
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

// Each file's lines, in file order, declared once: the loader reads and the
// writer writes them through the same layout. `line` is called with each
// field in turn; `line.serviceList` takes the names that end check.ini.
struct CheckLayout {
    template <class Record, class Line> void operator()(Record& s, Line& line) const {
        line(s.driveCheck1);
        line(s.driveCheck2);
        line(s.driveCheck3);
        line(s.driveIndex1);
        line(s.driveIndex2);
        line(s.driveIndex3);
        line(s.driveLimitMB1);
        line(s.driveLimitMB2);
        line(s.driveLimitMB3);
        line(s.memoryCheck);
        line(s.memoryLimitMB);
        line(s.swapLimitMB);
        line.serviceList(s.watchServices, s.watchServiceCount);
    }
};

struct SmtpLayout {
    template <class Record, class Line> void operator()(Record& s, Line& line) const {
        line(s.smtpServer);
        line(s.mailFrom);
        line(s.mailTo);
        line(s.mailSubject);
        line(s.showDetails);
        line(s.showNGDetails);
        line.optional(s.smtpPort, kDefaultSmtpPort, 1, 65535);
        line.optional(s.smtpSecurity, kSecurityNone, kSecurityNone, kSecurityTls);
        line.optional(s.smtpFingerprint);
        line.optional(s.keepFailedReports, std::int16_t{0}, std::int16_t{0}, std::int16_t{1});
    }
};

struct SendTimeLayout {
    template <class Record, class Line> void operator()(Record& s, Line& line) const {
        for (int h = 0; h < kHoursPerDay; ++h)
            line(s.sendHours[h]);
        line(s.sendMinute);
        line.optional(s.alertMinutes, std::int16_t{0}, std::int16_t{0}, kMaxAlertMinutes);
        line.optional(s.reminderMinutes, std::int16_t{0}, std::int16_t{0}, kMaxAlertMinutes);
    }
};

// Reads a settings file line by line into the record, failing with the
// line's number.
class LineReader {
public:
    explicit LineReader(const QString& fileName) : file_(fileName) {
        auto lines = platform::use<platform::Files>().readLines(platform::appFile(fileName));
        if (!lines)
            throw LoadError(file_, 0, QStringLiteral("ファイルを開けません"));
        lines_ = std::move(*lines);
    }

    void operator()(QString& field) { field = text(); }

    template <std::integral Field> void operator()(Field& field) {
        number(field, std::numeric_limits<Field>::min(), std::numeric_limits<Field>::max());
    }

    // A line that the file lacks, or an empty one, leaves `fallback`: a file
    // written before the line existed means what it always meant.
    template <std::integral Field> void optional(Field& field, Field fallback, Field lo, Field hi) {
        if (!atEnd() && !lines_[next_].trimmed().isEmpty())
            return number(field, lo, hi);
        field = fallback;
        next_ = std::min(next_ + 1, lines_.size());
    }

    void optional(QString& field) {
        const QString line = atEnd() ? QString() : text();
        if (!line.isEmpty() && !ReadFingerprint(line))
            throw LoadError(file_, lineNumber(), QStringLiteral("SHA-256 の指紋ではありません"));
        field = line;
    }

    // Every line to the end is a name, an empty one too; the whole list is
    // replaced, so no name of a longer list stays behind.
    void serviceList(std::array<QString, kWatchServiceSlots>& names, std::int16_t& count) {
        names.fill(QString());
        count = 0;
        while (!atEnd()) {
            if (count == kWatchServiceSlots)
                throw LoadError(
                    file_, lineNumber() + 1,
                    QStringLiteral("サービス名が %1 個を超えています").arg(kWatchServiceSlots));
            names[count++] = text();
        }
    }

private:
    template <std::integral Field> void number(Field& field, Field lo, Field hi) {
        const QString line = text();
        if (line.trimmed().isEmpty())
            throw LoadError(file_, lineNumber(), QStringLiteral("数値の行が空です"));
        const auto value = ReadNumberLine(line);
        if (!value)
            throw LoadError(file_, lineNumber(), QStringLiteral("数値ではありません"));
        if (*value < lo || *value > hi)
            throw LoadError(file_, lineNumber(),
                            QStringLiteral("値が範囲外です（%1～%2）").arg(lo).arg(hi));
        field = static_cast<Field>(*value);
    }

    bool atEnd() const { return next_ >= lines_.size(); }
    int lineNumber() const { return static_cast<int>(next_); }

    QString text() {
        if (atEnd())
            throw LoadError(file_, lineNumber() + 1,
                            QStringLiteral("ファイルが途中で終わっています"));
        return lines_[next_++];
    }

    QString file_;
    QStringList lines_;
    qsizetype next_ = 0;
};

// Gathers the lines of a record's values.
struct LineWriter {
    QStringList lines;

    void operator()(const QString& field) { lines.append(field); }
    template <std::integral Field> void operator()(Field field) {
        lines.append(FormatNumberLine(field));
    }
    template <class Field, class... Bounds> void optional(const Field& field, Bounds...) {
        (*this)(field);
    }
    void serviceList(const std::array<QString, kWatchServiceSlots>& names, std::int16_t count) {
        for (int i = 0; i < std::clamp<int>(count, 0, kWatchServiceSlots); ++i)
            lines.append(names[i]);
    }
};

template <class Layout> void load(const QString& fileName, Layout layout) {
    LineReader in(fileName);
    layout(Settings, in);
}

template <class Layout> QStringList linesOf(const SettingsRecord& record, Layout layout) {
    LineWriter out;
    layout(record, out);
    return out.lines;
}

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

std::optional<QByteArray> ReadFingerprint(const QString& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    // Colons or blanks may stand between the bytes, as tools print them.
    const QString digits = QString(text).remove(u':').remove(u' ');
    if (!hex.match(digits).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(digits.toLatin1());
}

bool HoldsLineBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n');
}

void LoadCheckSettings() {
    load(kCheckFile, CheckLayout{});
}

void LoadSmtpSettings() {
    load(kSmtpFile, SmtpLayout{});
}

void LoadSendTimeSettings() {
    load(kSendTimeFile, SendTimeLayout{});
}

QStringList CheckSettingsLines(const SettingsRecord& record) {
    return linesOf(record, CheckLayout{});
}

QStringList SmtpSettingsLines(const SettingsRecord& record) {
    return linesOf(record, SmtpLayout{});
}

QStringList SendTimeSettingsLines(const SettingsRecord& record) {
    return linesOf(record, SendTimeLayout{});
}

bool WriteCheckSettings(const SettingsRecord& record) {
    return writeSettingsFile(kCheckFile, CheckSettingsLines(record));
}

bool WriteSmtpSettings(const SettingsRecord& record) {
    return writeSettingsFile(kSmtpFile, SmtpSettingsLines(record));
}

bool WriteSendTimeSettings(const SettingsRecord& record) {
    return writeSettingsFile(kSendTimeFile, SendTimeSettingsLines(record));
}

} // namespace API
