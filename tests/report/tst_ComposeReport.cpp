#include "report/MailMod.h"
#include "settings/variables.h"
#include "support/Fakes.h"

#include <QRegularExpression>
#include <QTest>
#include <functional>
#include <map>

namespace {

constexpr qulonglong kMB = 1024 * 1024;

const QStringList kHeader = {"From: tolvane@localhost", "To: admin@localhost",
                             "Subject: Status Tolvane", "X-Mailer: Tolvane by Velmora 2.0.0"};

// The report of the machine state set up by setSample, line by line.
const QStringList kSample =
    kHeader +
    QStringList{
        "",
        "[HDD容量チェック]",
        "C:ドライブ --- OK",
        "D:ドライブ --- 空き容量が、2000 MBを下回りました。現在、1500 MBの空きがあります。",
        "",
        "[メモリ容量チェック]",
        "物理メモリ --- OK",
        "スワップメモリ --- 空き容量が、200 MBを下回りました。現在、150 MBの空きがあります。",
        "",
        "[サービス動作チェック]",
        "   ServiceA --- OK",
        "   ServiceB --- NG",
        "",
        "",
        "==============ここから詳細内容==============",
        "",
        "[ディスク容量]",
        "C:ドライブ --- 10240 MBの空き",
        "D:ドライブ --- 1500 MBの空き",
        "",
        "[メモリ情報]",
        "物理メモリ使用率 --- 61 % 使用中",
        "物理メモリ空き   --- 312 MBの空き",
        "スワップメモリ空き --- 150 MBの空き",
        "",
        "[動作中のサービス]",
        "   ServiceA",
        "   ServiceC",
        ""};

// `lines` with line i replaced by at[i] (nothing removes it).
QStringList edited(QStringList lines, const std::map<int, QStringList>& at) {
    for (auto it = at.rbegin(); it != at.rend(); ++it)
        lines = lines.mid(0, it->first) + it->second + lines.mid(it->first + 1);
    return lines;
}

void setMailHeader() {
    Settings.mailFrom = "tolvane@localhost";
    Settings.mailTo = "admin@localhost";
    Settings.mailSubject = "Status Tolvane";
}

void setSample(fakes::Environment& env) {
    setMailHeader();
    Settings.driveCheck1 = Settings.driveCheck2 = 1;
    Settings.driveIndex1 = 2;
    Settings.driveLimitMB1 = 500;
    Settings.driveIndex2 = 3;
    Settings.driveLimitMB2 = 2000;
    Settings.memoryCheck = 1;
    Settings.memoryLimitMB = 100;
    Settings.swapLimitMB = 200;
    Settings.watchServices = {"   ServiceA", "   ServiceB"};
    Settings.showNGDetails = Settings.showDetails = 1;
    Settings.driveIndex3 = 4;     // slot 3 is off; some cases turn it on
    const qulonglong u = kMB - 1; // bytes short of one more MB count for nothing
    env.drives.freeBytesByLetter = {{'C', 10240 * kMB}, {'D', 1500 * kMB + u}, {'E', 5000 * kMB}};
    env.memory.figures = platform::MemoryFigures{61, 312 * kMB + u, 150 * kMB + u};
    env.command.listing = fakes::listingOf({"   ServiceA", "   ServiceC"});
}

using Env = fakes::Environment;
// A change to the settings or the machine state of a case.
using Change = std::function<void(Env&)>;

// The drive slots' check flags.
Change driveChecks(short first, short second, short third) {
    return [=](Env&) {
        Settings.driveCheck1 = first, Settings.driveCheck2 = second, Settings.driveCheck3 = third;
    };
}

// Watched names from slot 0 on (an empty slot among them), and the listing; no detail section.
Change services(const QStringList& watched, const QByteArray& listing) {
    return [=](Env& env) {
        Settings.showDetails = 0;
        Settings.watchServices = {};
        std::copy(watched.begin(), watched.end(), Settings.watchServices.begin());
        env.command.listing = listing;
    };
}

} // namespace

Q_DECLARE_METATYPE(Change)

class tst_ComposeReport : public QObject {
    Q_OBJECT
private slots:

    // The sample with one change: the report's lines, or a failure (no lines) that starts the
    // service listing or not.
    void report_data() {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("listingStarted");
        const auto row = [](const char* name, const QStringList& lines, Change change) {
            QTest::newRow(name) << change << lines << true;
        };
        const auto fails = [](const char* name, bool started, Change change) {
            QTest::newRow(name) << change << QStringList() << started;
        };
        const QString eOK = "E:ドライブ --- OK", eFree = "E:ドライブ --- 5000 MBの空き";

        row("sample report", kSample, [](Env&) {});
        const QStringList ngPlain =
            edited(kSample, {{7, {"D:ドライブ --- NG"}}, {11, {"スワップメモリ --- NG"}}});
        row("no NG details", edited(ngPlain, {{14, {"サービス --- NG"}}, {15, {}}, {16, {}}}),
            [](Env&) { Settings.showNGDetails = 0; });
        row("all checks off",
            kHeader + QStringList{"", "[サービス動作チェック]", "サービス --- OK"},
            [](Env&) { Settings = SettingsRecord{}, setMailHeader(); });
        row("details with memory off", kSample.mid(0, 9) + kSample.mid(13),
            [](Env&) { Settings.memoryCheck = 0; });
        row("details with all drive slots off",
            kSample.mid(0, 5) + kSample.mid(9, 11) + kSample.mid(23), driveChecks(0, 0, 0));
        // Free MB equal to the limit are NG, one more are OK; bytes short of one more MB count
        // for nothing; limits are signed; figures go beyond 32 bits.
        const QString ng = " --- 空き容量が、%1 MBを下回りました。現在、%1 MBの空きがあります。";
        row("limits at the free figures or below them",
            edited(kSample, {{7, {"D:ドライブ" + ng.arg(1500)}},
                             {10, {"物理メモリ" + ng.arg(312)}},
                             {11, {"スワップメモリ --- OK"}}}),
            [](Env&) {
                Settings.driveLimitMB1 = -1, Settings.driveLimitMB2 = 1500;
                Settings.memoryLimitMB = 312, Settings.swapLimitMB = 149;
            });
        row("the other way round, with 5 GB of memory free",
            edited(kSample, {{7, {"D:ドライブ --- OK"}},
                             {10, {"物理メモリ --- OK"}},
                             {11, {"スワップメモリ" + ng.arg(5120)}},
                             {26, {"物理メモリ空き   --- 5120 MBの空き"}},
                             {27, {"スワップメモリ空き --- 5120 MBの空き"}}}),
            [](Env& env) {
                Settings.driveLimitMB2 = 1499;
                Settings.memoryLimitMB = 5119, Settings.swapLimitMB = 5120;
                env.memory.figures = {{61, 5120 * kMB, 5121 * kMB - 1}};
            });
        // The drive sections hold every slot that is on, whichever slot is off.
        row("slot 3 only, a flag other than 1 is off",
            edited(kSample, {{6, {}}, {7, {eOK}}, {21, {}}, {22, {eFree}}}), driveChecks(2, -1, 1));
        row("slots 2 and 3",
            edited(kSample,
                   {{6, {}}, {7, {kSample[7], eOK}}, {21, {}}, {22, {kSample[22], eFree}}}),
            driveChecks(0, 1, 1));

        // Service lines: the summary when all run, else each watched name's verdict.
        const QStringList head = kSample.mid(0, 14);
        const QByteArray ab = fakes::listingOf({"   ServiceA", "   Service B"});
        row("every service running, NG details on; names after an empty slot not looked for",
            head + QStringList{"サービス --- OK"},
            services({"   Service B", "   ServiceA", "", "   Missing"}, ab));
        row("leading blanks and letter case matter; no partial or trimmed match",
            head + QStringList{"   ServiceA --- OK", "ServiceA --- NG", "  ServiceA --- NG",
                               "   servicea --- NG", "   Service --- NG", "   ServiceA  --- NG",
                               "   Service  B --- NG", ""},
            services({"   ServiceA", "ServiceA", "  ServiceA", "   servicea", "   Service",
                      "   ServiceA ", "   Service  B"},
                     ab));
        // Line 3 up to the first empty line holds the names.
        row("heading, line 2 and lines after the first empty line never match",
            head + QStringList{"heading --- NG", "   Two --- NG", "   Three --- OK",
                               "   Late --- NG", ""},
            services({"heading", "   Two", "   Three", "   Late"},
                     "heading\r\n   Two\r\n   Three\r\n\r\n   Late\r\nend\r\n"));
        // Nothing reads a capture cut short when no name is watched and no detail is shown;
        // the listing runs all the same.
        row("empty watch list", head + QStringList{"サービス --- OK"}, services({}, "heading\r\n"));

        fails("missing drive", false, [](Env& env) { env.drives.freeBytesByLetter.erase('D'); });
        fails("memory not answered", false, [](Env& env) { env.memory.figures.reset(); });
        fails("listing cannot start", false, [](Env& env) { env.command.canStart = false; });
        fails("capture never appears", true, [](Env& env) { env.command.createsFile = false; });
        fails("listing never ends", true, [](Env& env) { env.command.busyPolls = 1 << 30; });
        fails("CR in mailFrom", false,
              [](Env&) { Settings.mailFrom += "\rRCPT TO:<x@localhost>"; });
        fails("LF in mailTo", false, [](Env&) { Settings.mailTo += "\nBcc: x@localhost"; });
        fails("CR LF in mailSubject", false, [](Env&) { Settings.mailSubject += "\r\n"; });
        fails("memory for the details not answered", true,
              [](Env& env) { Settings.memoryCheck = 0, env.memory.figures.reset(); });
        // A listing cut short before the empty line that ends its names.
        fails("cut short", true, [](Env& env) { env.command.listing = "heading\r\n\r\n   A\r\n"; });
        fails("cut short, read for the details only", true, [](Env& env) {
            Settings.watchServices = {};
            env.command.listing = "heading\r\n";
        });
    }

    void report() {
        QFETCH(Change, change);
        QFETCH(QStringList, lines);
        QFETCH(bool, listingStarted);
        fakes::Environment env;
        setSample(env);
        change(env);
        MailMod::Mail mail;
        if (lines.isEmpty()) {
            // Sent as a mail, the failure is told and nothing waits.
            fakes::MailFace face(env.messageBox);
            face.engine.SendMail();
            QCOMPARE(env.messageBox.log(),
                     "Error|エラーが発生しました。設定をもう一度確認してください。/");
            QVERIFY(face.status.testSendEnabled() && !face.engine.queue.busy());
            QCOMPARE(face.status.text(), "送信エラー");
            QCOMPARE(env.command.started.isEmpty(), !listingStarted);
            // Every wait is bounded: 10 s of polling at most, then the failure.
            QVERIFY(env.sleep.total() <= 10000);
            if (listingStarted && env.command.createsFile)
                QVERIFY(env.folder.has("runnings.dat"));
            return;
        }
        // Twice: nothing is left over from one composition to the next but
        // the unique Message-ID.
        QCOMPARE(MailMod::ComposeReport(mail), std::int16_t(0));
        const QString first = mail.mailText;
        QCOMPARE(MailMod::ComposeReport(mail), std::int16_t(0));
        QStringList composed = mail.mailText.split("\r\n");
        QVERIFY(first.split("\r\n").value(5) != composed.value(5));
        // RFC 5322 mail: the mail's own header lines after the report's four,
        // the charset that of the code page of the run.
        const QString charset =
            qEnvironmentVariable("TOLVANE_CODEPAGE") == "932" ? "Shift_JIS" : "UTF-8";
        const QRegularExpression headers(
            "Date: 07 Dec 2026 00:00:00 [-+]\\d{4}\nMessage-ID: <\\d{17}\\.[0-9a-z]+@" +
            QRegularExpression::escape(Settings.mailFrom.section('@', -1)) +
            ">\nMIME-Version: 1\\.0\nContent-Type: text/plain; charset=" + charset +
            "\nContent-Transfer-Encoding: 8bit");
        QVERIFY2(headers.match(composed.mid(4, 5).join('\n')).hasMatch(),
                 qPrintable(mail.mailText));
        composed.remove(4, 5);
        QCOMPARE(composed, lines + QStringList{""});
        QCOMPARE(env.command.started.size(), 2);
        QVERIFY(!env.folder.has("runnings.dat"));
        QVERIFY(env.messageBox.shown.isEmpty());
    }

    // The capture appears after three polls, with its heading only; the listing ends four
    // polls later. Read before that end, it is cut short.
    void captureWait() {
        fakes::Environment env;
        setMailHeader();
        Settings.watchServices[0] = "   ServiceA";
        env.command.createsFile = false;
        env.command.busyPolls = 4;
        env.command.finalListing = fakes::listingOf({"   ServiceA"});
        env.sleep.onSleep = [&] {
            if (env.sleep.calls.size() == 3)
                env.folder.write("runnings.dat", "次のサービスが開始されています:\r\n");
        };
        MailMod::Mail mail;
        QCOMPARE(MailMod::ComposeReport(mail), std::int16_t(0));
        QVERIFY(mail.mailText.endsWith("サービス --- OK\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_ComposeReport)
#include "tst_ComposeReport.moc"
