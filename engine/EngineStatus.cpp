#include "engine/EngineStatus.h"

#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/Service.h"

namespace {
const QString kTimeFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");
const QString kService = QStringLiteral("service");
const QString kConsole = QStringLiteral("console");
const QString kRunning = QStringLiteral("running");
const QString kStopped = QStringLiteral("stopped");
} // namespace

bool EngineStatus::Write() const {
    return platform::use<platform::Files>().writeLines(
        platform::appFile(kFile), {service ? kService : kConsole, running ? kRunning : kStopped,
                                   lastMail.isValid() ? lastMail.toString(kTimeFormat) : QString(),
                                   lastResult, QString::number(waiting)});
}

std::optional<EngineStatus> EngineStatus::Read() {
    const auto lines = platform::use<platform::Files>().readLines(platform::appFile(kFile));
    if (!lines || lines->size() < 5)
        return std::nullopt;
    const QStringList& line = *lines;
    return EngineStatus{line[0] == kService, line[1] == kRunning,
                        QDateTime::fromString(line[2], kTimeFormat), line[3], line[4].toInt()};
}

QString EngineStatus::Text() const {
    QString text = (service ? QStringLiteral("サービス") : QStringLiteral("tolvane-service ")) +
                   (running ? QStringLiteral("実行中") : QStringLiteral("停止中"));
    if (lastMail.isValid())
        text += QStringLiteral("　最終 %1 %2")
                    .arg(lastMail.toString(QStringLiteral("MM/dd HH:mm")), lastResult);
    if (waiting > 0)
        text += QStringLiteral("　再送待ち %1件").arg(waiting);
    return text;
}
