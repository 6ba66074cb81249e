#include "engine/Alerts.h"

#include "platform/AppFolder.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "report/MailMod.h"
#include "report/StatusChecks.h"
#include "settings/variables.h"

#include <QList>
#include <algorithm>
#include <map>

using MailMod::CheckFailed;

namespace {

// Where an item stands: OK, NG, or OK again after it was NG while the
// recovery has not yet been mailed (it is mailed once every item is OK).
enum class State { Ok, Ng, Recovered };

const QString kStateWords[] = {QStringLiteral("OK"), QStringLiteral("NG"),
                               QStringLiteral("RECOVERED")};
constexpr qint64 kTickSlackSeconds = 30;
// The item that stands for the checks as a whole, NG when they cannot run.
const QString kChecksKey = QStringLiteral("checks");

struct Item {
    QString name; // as the alert names it
    bool ok = true;
    QString reason; // why it could not be checked, when it could not
};
// By a key that stays the same from one check to the next.
using Items = std::map<QString, Item>;

// The file: its first line the moment of the last "[NG]" mail (empty when
// none is pending a recovery), then one line per item, "STATE key|name".
struct Verdicts {
    QDateTime lastNgMail;
    std::map<QString, std::pair<State, QString>> items;
};

QString verdictsPath() {
    return platform::appFile(Alerts::kVerdictsFile);
}

std::optional<Verdicts> readVerdicts() {
    const auto lines = platform::use<platform::Files>().readLines(verdictsPath());
    if (!lines || lines->isEmpty())
        return std::nullopt;
    Verdicts verdicts;
    verdicts.lastNgMail = QDateTime::fromString(lines->first(), Qt::ISODate);
    for (const QString& line : lines->mid(1)) {
        const QString word = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        for (int state = 0; state < 3; ++state) {
            if (word == kStateWords[state])
                verdicts.items[rest.section(u'|', 0, 0)] = {State(state), rest.section(u'|', 1)};
        }
    }
    return verdicts;
}

void writeVerdicts(const Verdicts& verdicts) {
    QStringList lines{verdicts.lastNgMail.toString(Qt::ISODate)};
    for (const auto& [key, item] : verdicts.items)
        lines.append(kStateWords[int(item.first)] + u' ' + key + u'|' + item.second);
    platform::use<platform::Files>().writeLines(verdictsPath(), lines);
}

// The verdicts of the checks now, with the report's judgement; `report` gets
// the figures for the report of an alert, when every check could be made.
Items judge(const std::optional<Verdicts>& last, std::optional<MailMod::StatusFigures>& report) {
    Items items;
    try {
        const MailMod::StatusFigures figures = MailMod::RunChecks(
            Settings.showDetails == kFlagOn, Alerts::kCaptureFile, MailMod::DriveFault::Recorded);
        if (std::none_of(figures.drives.begin(), figures.drives.end(),
                         [](const MailMod::DriveFigures& drive) { return !drive.fault.isEmpty(); }))
            report = figures;
        platform::use<platform::Files>().remove(platform::appFile(Alerts::kCaptureFile));
        for (const MailMod::DriveFigures& drive : figures.drives) {
            QString key = QStringLiteral("drive ") + drive.name;
            while (items.count(key))
                key += u'+';
            items[key] = {drive.name + QStringLiteral("ドライブ"),
                          drive.fault.isEmpty() &&
                              MailMod::Passes(MailMod::Megabytes(drive.freeBytes), drive.limitMB),
                          drive.fault.isEmpty()
                              ? QString()
                              : QStringLiteral("存在しないか、準備ができていません")};
        }
        if (figures.memory && Settings.memoryCheck == kFlagOn) {
            items[QStringLiteral("memory")] = {
                QStringLiteral("物理メモリ"),
                MailMod::Passes(MailMod::Megabytes(figures.memory->freePhysical),
                                Settings.memoryLimitMB),
                {}};
            items[QStringLiteral("swap")] = {
                QStringLiteral("スワップメモリ"),
                MailMod::Passes(MailMod::Megabytes(figures.memory->freeSwap), Settings.swapLimitMB),
                {}};
        }
        for (const MailMod::ServiceFigures& service : figures.services)
            items[QStringLiteral("service ") + service.name] = {
                service.name.trimmed(), service.running, {}};
        items[kChecksKey] = {QStringLiteral("監視項目の確認"), true, {}};
    } catch (const CheckFailed&) {
        // What could not be checked keeps its last verdict.
        if (last) {
            for (const auto& [key, item] : last->items)
                items[key] = {item.second, item.first != State::Ng, {}};
        }
        items[kChecksKey] = {QStringLiteral("監視項目の確認"), false,
                             QStringLiteral("サービスの一覧またはメモリの状態を取得できません")};
    }
    return items;
}

std::optional<MailMod::Mail> alertMail(const QString& prefix, const QStringList& lines,
                                       const std::optional<MailMod::StatusFigures>& report) {
    MailMod::Mail mail;
    if (MailMod::ComposeAlert(mail, prefix, lines, report ? &*report : nullptr) != 0)
        return std::nullopt;
    return mail;
}

} // namespace

std::optional<MailMod::Mail> Alerts::Check(const QDateTime& now) {
    if (Settings.alertMinutes <= 0) {
        nextCheck_ = QDateTime();
        return std::nullopt;
    }
    // The scheduler's ticks come 59.9 s apart: a check runs at the tick
    // nearest its time, not one tick late.
    if (nextCheck_.isValid() && now.addSecs(kTickSlackSeconds) < nextCheck_)
        return std::nullopt;
    nextCheck_ = now.addSecs(60LL * Settings.alertMinutes);

    const std::optional<Verdicts> last = readVerdicts();
    std::optional<MailMod::StatusFigures> report;
    const Items items = judge(last, report);
    Verdicts verdicts;
    if (last)
        verdicts.lastNgMail = last->lastNgMail;
    QStringList turnedNg, stillNg, recovered;
    for (const auto& [key, item] : items) {
        // A new item only takes its place: neither an alert nor a recovery.
        State was = item.ok ? State::Ok : State::Ng;
        if (last) {
            if (const auto before = last->items.find(key); before != last->items.end())
                was = before->second.first;
        }
        const State state =
            !item.ok ? State::Ng : (was == State::Ok ? State::Ok : State::Recovered);
        const QString ng = QStringLiteral("NG: ") + item.name +
                           (item.reason.isEmpty() ? QString() : u'（' + item.reason + u'）');
        if (state == State::Ng && was != State::Ng)
            turnedNg.append(ng);
        if (state == State::Ng)
            stillNg.append(ng);
        if (state == State::Recovered)
            recovered.append(QStringLiteral("復旧: ") + item.name);
        verdicts.items[key] = {state, item.name};
    }

    std::optional<MailMod::Mail> mail;
    if (last && !turnedNg.isEmpty()) {
        mail = alertMail(QStringLiteral("[NG] "), turnedNg, report);
        verdicts.lastNgMail = now;
    } else if (stillNg.isEmpty() && !recovered.isEmpty()) {
        // A recovery is told only after an alert; what was NG when the checks
        // began only takes its place.
        if (verdicts.lastNgMail.isValid())
            mail = alertMail(QStringLiteral("[OK] "), recovered, report);
        for (auto& [key, item] : verdicts.items)
            item.first = State::Ok;
        verdicts.lastNgMail = QDateTime();
    } else if (!stillNg.isEmpty() && Settings.reminderMinutes > 0 &&
               verdicts.lastNgMail.isValid() &&
               now >= verdicts.lastNgMail.addSecs(60LL * Settings.reminderMinutes)) {
        mail = alertMail(QStringLiteral("[NG] "), stillNg, report);
        verdicts.lastNgMail = now;
    }
    writeVerdicts(verdicts);
    return mail;
}
