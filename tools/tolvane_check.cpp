// tolvane-check: the monitor's checks for central monitoring engines.
//
//   tolvane-check [--dir DIR] [--report] [--prom FILE]
//
// Reads check.ini from its own folder, or from DIR, which is then the
// application folder for everything (the capture of the service listing and,
// on Linux, the drive links in dosdevices/), and runs the checks of the report
// with its rules. It prints one line in the monitoring-plugin convention and
// exits to match (check.ini has no warning level):
//
//   TOLVANE OK - <what was checked> | <performance data>          exit 0
//   TOLVANE CRITICAL - <what is NG> | <performance data>          exit 2
//   TOLVANE UNKNOWN - <why the checks could not be made>          exit 3
//
// --report prints the body of the report mail instead (smtp.ini, when there is
// one, says whether it has details); --prom also writes the figures in the
// Prometheus text format into FILE, which is replaced whole. Nothing else is
// written but the capture of the listing, which is deleted again.

#include "platform/AppFolder.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/MailMod.h"
#include "report/StatusChecks.h"
#include "settings/API.h"
#include "settings/variables.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <optional>

namespace {

// The monitoring-plugin exit codes; check.ini has no warning level.
constexpr int kOk = 0;
constexpr int kCritical = 2;
constexpr int kUnknown = 3;

const QString kDirOption = QStringLiteral("dir");
const QString kReportOption = QStringLiteral("report");
const QString kPromOption = QStringLiteral("prom");

// The checks could not be made; `what` says why.
struct Unknown {
    QString what;
};

struct Outcome {
    int code = kUnknown;
    QString text;        // after "TOLVANE <STATE> - "
    QString performance; // after " | "; empty when nothing was measured
};

QString megabytes(std::uint64_t bytes) {
    return QString::number(MailMod::Megabytes(bytes));
}

// The critical range of a figure that is NG at or below `limitMB` free: the
// range "@0:LIMIT" alerts exactly then, free space being never negative. A
// negative limit, which no figure reaches, cannot be a range from 0 and is
// written "@~:LIMIT".
QString criticalRange(std::int64_t limitMB) {
    return (limitMB >= 0 ? QStringLiteral("@0:%1") : QStringLiteral("@~:%1")).arg(limitMB);
}

// One item of performance data: label=value[unit];warn;crit;min;max. A label
// with a blank is quoted.
QString performanceItem(const QString& label, const QString& value, const QString& critical,
                        const QString& max) {
    const QString name = label.contains(u' ') ? u'\'' + label + u'\'' : label;
    return QStringLiteral("%1=%2;;%3;0;%4").arg(name, value, critical, max);
}

// A watched name as an operator reads it: without the listing's indentation,
// and without "|", which would end the text of the status line.
QString shownName(const QString& watched) {
    return watched.trimmed().replace(u'|', u'/');
}

Outcome judge(const MailMod::StatusFigures& figures) {
    const SettingsRecord& s = Settings;
    QStringList ng, ok, performance;
    QStringList labels;
    for (qsizetype i = 0; i < figures.drives.size(); ++i) {
        const MailMod::DriveFigures& drive = figures.drives[i];
        // A drive that cannot be read is NG and has no performance data.
        if (!drive.fault.isEmpty()) {
            ng << drive.name + u' ' + drive.fault;
            continue;
        }
        const std::int64_t free = MailMod::Megabytes(drive.freeBytes);
        if (MailMod::Passes(free, drive.limitMB))
            ok << QStringLiteral("%1 %2 MB free").arg(drive.name).arg(free);
        else
            ng << QStringLiteral("%1 %2 MB free (limit %3 MB)")
                      .arg(drive.name)
                      .arg(free)
                      .arg(drive.limitMB);
        // Two slots may watch one drive with two limits; labels stay unique.
        QString label = drive.name;
        if (labels.contains(label))
            label += QStringLiteral(" slot %1").arg(i + 1);
        labels << label;
        performance << performanceItem(label, QString::number(free) + QStringLiteral("MB"),
                                       criticalRange(drive.limitMB), megabytes(drive.totalBytes));
    }

    if (figures.memory) {
        const platform::MemoryFigures& memory = *figures.memory;
        const bool checked = s.memoryCheck == kFlagOn;
        const struct {
            const char* label;
            const char* words;
            std::uint64_t free, total;
            std::int64_t limitMB;
        } parts[] = {
            {"physical", "physical memory", memory.freePhysical, memory.totalPhysical,
             s.memoryLimitMB},
            {"swap", "swap", memory.freeSwap, memory.totalSwap, s.swapLimitMB},
        };
        for (const auto& part : parts) {
            const std::int64_t free = MailMod::Megabytes(part.free);
            if (checked && MailMod::Passes(free, part.limitMB))
                ok << QStringLiteral("%1 %2 MB free").arg(QLatin1String(part.words)).arg(free);
            else if (checked)
                ng << QStringLiteral("%1 %2 MB free (limit %3 MB)")
                          .arg(QLatin1String(part.words))
                          .arg(free)
                          .arg(part.limitMB);
            performance << performanceItem(
                QLatin1String(part.label), QString::number(free) + QStringLiteral("MB"),
                checked ? criticalRange(part.limitMB) : QString(), megabytes(part.total));
        }
    }

    int running = 0;
    for (const MailMod::ServiceFigures& service : figures.services) {
        if (service.running)
            ++running;
        else
            ng << QStringLiteral("service '%1' not running").arg(shownName(service.name));
    }
    if (figures.services.isEmpty())
        ok << QStringLiteral("no service watched");
    else
        ok << (running == 1 ? QStringLiteral("%1 service running")
                            : QStringLiteral("%1 services running"))
                  .arg(running);
    // Any count above 0 is NG: the range "0" alerts outside 0 to 0.
    performance << QStringLiteral("services_not_running=%1;;0;0;%2")
                       .arg(figures.notRunning())
                       .arg(figures.services.size());

    if (!ng.isEmpty())
        return {kCritical, ng.join(QStringLiteral("; ")), performance.join(u' ')};
    return {kOk, ok.join(QStringLiteral("; ")), performance.join(u' ')};
}

// The Prometheus text exposition format: families of gauges, each with its
// HELP and TYPE lines, LF line ends.
class Exposition {
public:
    using Labels = QList<std::pair<const char*, QString>>;

    void gauge(const char* name, const char* help,
               const QList<std::pair<Labels, QString>>& samples) {
        if (samples.isEmpty())
            return;
        const QString family = QStringLiteral("tolvane_") + QLatin1String(name);
        text_ += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(family, QLatin1String(help));
        for (const auto& [labels, value] : samples) {
            text_ += family;
            if (!labels.isEmpty()) {
                QStringList pairs;
                for (const auto& [label, labelValue] : labels)
                    pairs << QStringLiteral("%1=\"%2\"")
                                 .arg(QLatin1String(label), escaped(labelValue));
                text_ += u'{' + pairs.join(u',') + u'}';
            }
            text_ += u' ' + value + u'\n';
        }
    }
    void gauge(const char* name, const char* help, const QString& value) {
        gauge(name, help, QList<std::pair<Labels, QString>>{{Labels{}, value}});
    }
    QByteArray bytes() const { return text_.toUtf8(); }

private:
    static QString escaped(QString value) {
        return value.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'"', QStringLiteral("\\\""))
            .replace(u'\n', QStringLiteral("\\n"));
    }
    QString text_;
};

QString number(std::int64_t value) {
    return QString::number(value);
}
QString number(std::uint64_t value) {
    return QString::number(value);
}
QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

constexpr std::int64_t kBytesPerMB = 1024 * 1024;

QByteArray exposition(const MailMod::StatusFigures* figures) {
    Exposition out;
    out.gauge("check_success",
              "1 when the checks could be made, 0 when not (the status line says why).",
              flag(figures != nullptr));
    if (!figures)
        return out.bytes();
    const SettingsRecord& s = Settings;

    using Samples = QList<std::pair<Exposition::Labels, QString>>;
    Samples free, size, limit, drivePassed, readable;
    for (qsizetype i = 0; i < figures->drives.size(); ++i) {
        const MailMod::DriveFigures& drive = figures->drives[i];
        const Exposition::Labels labels{{"slot", QString::number(i + 1)}, {"drive", drive.name}};
        const bool read = drive.fault.isEmpty();
        if (read) {
            free << std::pair(labels, number(drive.freeBytes));
            size << std::pair(labels, number(drive.totalBytes));
        }
        limit << std::pair(labels, number(drive.limitMB * kBytesPerMB));
        // A drive that cannot be read fails its slot, as a full one does.
        drivePassed << std::pair(
            labels,
            flag(read && MailMod::Passes(MailMod::Megabytes(drive.freeBytes), drive.limitMB)));
        readable << std::pair(labels, flag(read));
    }
    out.gauge("drive_free_bytes", "Free space of the drive's whole volume.", free);
    out.gauge("drive_size_bytes", "Size of the drive's volume.", size);
    out.gauge("drive_limit_bytes",
              "The slot's limit: NG when the free space in whole MB is at or below it.", limit);
    out.gauge("drive_ok", "1 when the slot's drive has more free space than its limit.",
              drivePassed);
    out.gauge("drive_readable",
              "1 when the slot's drive exists and is ready; 0 when not, and it has no free and "
              "size figures.",
              readable);

    if (figures->memory) {
        const platform::MemoryFigures& memory = *figures->memory;
        out.gauge("memory_load_ratio", "Share of the physical memory in use.",
                  QString::number(memory.loadPercent / 100.0));
        out.gauge("memory_free_bytes", "Free physical memory.", number(memory.freePhysical));
        out.gauge("memory_size_bytes", "Physical memory.", number(memory.totalPhysical));
        out.gauge("swap_free_bytes", "Free swap (page file) memory.", number(memory.freeSwap));
        out.gauge("swap_size_bytes", "Swap (page file) memory.", number(memory.totalSwap));
        if (s.memoryCheck == kFlagOn) {
            out.gauge("memory_limit_bytes",
                      "NG when the free physical memory in whole MB is at or below it.",
                      number(s.memoryLimitMB * kBytesPerMB));
            out.gauge(
                "memory_ok", "1 when the free physical memory is above its limit.",
                flag(MailMod::Passes(MailMod::Megabytes(memory.freePhysical), s.memoryLimitMB)));
            out.gauge("swap_limit_bytes", "NG when the free swap in whole MB is at or below it.",
                      number(s.swapLimitMB * kBytesPerMB));
            out.gauge("swap_ok", "1 when the free swap is above its limit.",
                      flag(MailMod::Passes(MailMod::Megabytes(memory.freeSwap), s.swapLimitMB)));
        }
    }

    // One series per name as shown; names that differ only in their
    // indentation share it, which is 1 only when each of them runs.
    Samples services;
    QStringList names;
    for (const MailMod::ServiceFigures& service : figures->services) {
        const QString name = service.name.trimmed();
        const qsizetype at = names.indexOf(name);
        if (at < 0) {
            names << name;
            services << std::pair(Exposition::Labels{{"service", name}}, flag(service.running));
        } else if (!service.running) {
            services[at].second = flag(false);
        }
    }
    out.gauge("service_running", "1 when the watched service is running.", services);
    out.gauge("services_not_running", "How many watched services are not running.",
              QString::number(figures->notRunning()));
    return out.bytes();
}

QString settingsFault(const API::LoadError& error) {
    if (error.line == 0)
        return QStringLiteral("%1 cannot be opened").arg(error.file);
    return QStringLiteral("%1 line %2 cannot be read").arg(error.file).arg(error.line);
}

// The report mail's body: what follows the header lines and the empty line
// after them.
QString reportBody(const MailMod::StatusFigures& figures) {
    const QString mail = MailMod::ReportText(figures);
    const qsizetype end = mail.indexOf(QStringLiteral("\r\n\r\n"));
    return mail.mid(end + 4);
}

bool print(const QString& text) {
    return platform::writeStandardOutput(text.toStdU16String());
}

int printOutcome(const Outcome& outcome) {
    static const char* const states[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    QString line =
        QStringLiteral("TOLVANE %1 - %2").arg(QLatin1String(states[outcome.code]), outcome.text);
    if (!outcome.performance.isEmpty())
        line += QStringLiteral(" | ") + outcome.performance;
    print(line + u'\n');
    return outcome.code;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the checks of check.ini and prints one status line for monitoring engines\n"
        "(exit 0 OK, 2 CRITICAL, 3 UNKNOWN)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    parser.addOptions({
        {kDirOption, QStringLiteral("The application folder (default: the program's own)."),
         QStringLiteral("DIR")},
        {kReportOption, QStringLiteral("Print the report mail's body instead of the line.")},
        {kPromOption,
         QStringLiteral("Also write the figures in the Prometheus text format into FILE."),
         QStringLiteral("FILE")},
    });
    if (!parser.parse(app.arguments()))
        return printOutcome({kUnknown, parser.errorText() + QStringLiteral(" (see --help)"), {}});
    if (parser.isSet(helpOption)) {
        print(parser.helpText());
        return kUnknown;
    }
    if (!parser.positionalArguments().isEmpty())
        return printOutcome({kUnknown,
                             QStringLiteral("unexpected argument '%1' (see --help)")
                                 .arg(parser.positionalArguments().constFirst()),
                             {}});
    const bool report = parser.isSet(kReportOption);
    const QString metricsFile = parser.value(kPromOption);

    // Each run captures into a file of its own: the monitor, or another run,
    // may be capturing into the same folder at the same time.
    const QString capture =
        QStringLiteral("tolvane-check-%1.dat").arg(QCoreApplication::applicationPid());
    Outcome outcome;
    std::optional<MailMod::StatusFigures> figures;
    try {
        if (parser.isSet(kDirOption)) {
            if (const QString fault = platform::UseFolder(parser.value(kDirOption));
                !fault.isEmpty())
                throw Unknown{fault};
        }
        const QString folder =
            QDir::toNativeSeparators(platform::use<platform::AppFolder>().path());
        if (!API::SettingsFileExists(API::kCheckFile))
            throw Unknown{QStringLiteral("no %1 in %2").arg(API::kCheckFile, folder)};
        try {
            API::LoadCheckSettings();
            if (report && API::SettingsFileExists(API::kSmtpFile))
                API::LoadSmtpSettings();
        } catch (const API::LoadError& error) {
            throw Unknown{settingsFault(error)};
        }
        try {
            // Memory figures are always taken for the performance data; the
            // report's body takes what a mail would. A drive that cannot be
            // read is NG in the status line, but no report is mailed then.
            figures = MailMod::RunChecks(report ? Settings.showDetails == kFlagOn : true, capture,
                                         report ? MailMod::DriveFault::Fails
                                                : MailMod::DriveFault::Recorded);
        } catch (const MailMod::CheckFailed& failed) {
            throw Unknown{failed.what};
        }
        outcome = judge(*figures);
    } catch (const Unknown& unknown) {
        outcome = {kUnknown, unknown.what, {}};
    }
    auto& files = platform::use<platform::Files>();
    if (const QString path = platform::appFile(capture); files.exists(path))
        files.remove(path);

    if (!metricsFile.isEmpty()) {
        // Replaced whole, so that a collector never reads half a file.
        QString fault;
        if (!platform::replaceFile(metricsFile, exposition(figures ? &*figures : nullptr),
                                   platform::FileAccess::Default, &fault))
            outcome = {kUnknown,
                       QStringLiteral("cannot write the metrics file '%1': %2")
                           .arg(QDir::toNativeSeparators(metricsFile), fault),
                       outcome.performance};
    }
    if (report && outcome.code != kUnknown) {
        print(reportBody(*figures).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        return outcome.code;
    }
    return printOutcome(outcome);
}
