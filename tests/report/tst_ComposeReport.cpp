#include "app/frmMain.h"
#include "app/variables.h"
#include "report/MailMod.h"
#include "support/Fakes.h"

#include <QPushButton>
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

Change driveChecks(short first, short second, short third) {
    return [=](Env&) {
        Settings.driveCheck1 = first;
        Settings.driveCheck2 = second;
        Settings.driveCheck3 = third;
    };
}

} // namespace

Q_DECLARE_METATYPE(Change)

class tst_ComposeReport : public QObject {
    Q_OBJECT
    std::unique_ptr<frmMain> window_;

private slots:
    void initTestCase() { window_ = std::make_unique<frmMain>(); }

    void init() {
        // As the caller leaves them before composing.
        window_->cmdTestSend->setEnabled(false);
        window_->setSendStatus("送信中...");
    }

    void report_data() {
        QTest::addColumn<Change>("change"); // to the sample's settings
        QTest::addColumn<QStringList>("lines");
        const auto row = [](const char* name, const QStringList& lines, Change change) {
            QTest::newRow(name) << change << lines;
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
        row("every service running, NG details on",
            kSample.mid(0, 14) + QStringList{"サービス --- OK"}, [](Env& env) {
                Settings.showDetails = 0;
                env.command.listing = fakes::listingOf({"   ServiceB", "   ServiceA"});
            });
        row("details with memory off", kSample.mid(0, 9) + kSample.mid(13),
            [](Env&) { Settings.memoryCheck = 0; });
        row("details with all drive slots off",
            kSample.mid(0, 5) + kSample.mid(9, 11) + kSample.mid(23), driveChecks(0, 0, 0));
        // The drive sections hold every slot that is on, whichever slot is off.
        row("slot 2 only", edited(kSample, {{6, {}}, {21, {}}}), driveChecks(0, 1, 0));
        const QStringList onlyE = edited(kSample, {{6, {}}, {7, {eOK}}, {21, {}}, {22, {eFree}}});
        row("slot 3 only", onlyE, driveChecks(0, 0, 1));
        row("a flag other than 1 is off", onlyE, driveChecks(2, -1, 1));
        row("slots 2 and 3",
            edited(kSample,
                   {{6, {}}, {7, {kSample[7], eOK}}, {21, {}}, {22, {kSample[22], eFree}}}),
            driveChecks(0, 1, 1));
        row("slots 1 and 3", edited(kSample, {{7, {eOK}}, {22, {eFree}}}), driveChecks(1, 0, 1));
    }

    void report() {
        QFETCH(Change, change);
        QFETCH(QStringList, lines);
        fakes::Environment env;
        setSample(env);
        change(env);

        QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
        QCOMPARE(MailMod::mailText.split("\r\n"), lines + QStringList{""});
        QCOMPARE(env.memory.queries, int(Settings.memoryCheck == 1 || Settings.showDetails == 1));
        QCOMPARE(env.command.started.size(), 1);
        QCOMPARE(env.command.started[0].folder + "/" + env.command.started[0].outputName,
                 env.folder.file("runnings.dat"));
        QVERIFY(!env.folder.has("runnings.dat"));
        QVERIFY(env.messageBox.shown.isEmpty());
        // Success leaves the window to the caller.
        QVERIFY(!window_->cmdTestSend->isEnabled());
        QCOMPARE(window_->sendStatus(), "送信中...");
        // Nothing is left over from one composition to the next.
        QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
        QCOMPARE(MailMod::mailText, lines.join("\r\n") + "\r\n");
    }

    void verdictBoundaries_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<qulonglong>("freeBytes");
        QTest::addColumn<int>("limitMB");
        QTest::addColumn<QString>("verdict");

        const auto ng = [](qulonglong limit, qulonglong free) {
            return QString("空き容量が、%1 MBを下回りました。現在、%2 MBの空きがあります。")
                .arg(limit)
                .arg(free);
        };
        const QString ng1000 = ng(1000, 1000), ng0 = ng(0, 0);
        for (const QString label : {"Z:ドライブ", "物理メモリ", "スワップメモリ"}) {
            const auto row = [&](const char* name) {
                return &QTest::addRow("%s: %s", qPrintable(label), name);
            };
            *row("equal to the limit") << label << 1000 * kMB << 1000 << ng1000;
            *row("one MB more") << label << 1001 * kMB << 1000 << "OK";
            *row("one byte short of one MB more") << label << 1001 * kMB - 1 << 1000 << ng1000;
            *row("1,048,575 bytes are 0 MB") << label << kMB - 1 << 0 << ng0;
            *row("1,048,576 bytes are 1 MB") << label << kMB << 0 << "OK";
            *row("negative limit") << label << 0ull << -1 << "OK";
        }
        // Beyond 32 bits: a drive of 6 TB (6,291,456 MB) free.
        const qulonglong sixTB = 6ull * 1024 * 1024 * kMB;
        QTest::newRow("drive: 6 TB at its limit")
            << "Z:ドライブ" << sixTB << 6291456 << ng(6291456, 6291456);
        QTest::newRow("drive: 5 GB under a 2,147,483,647 MB limit")
            << "Z:ドライブ" << 5ull * 1024 * kMB << 2147483647 << ng(2147483647, 5120);
        QTest::newRow("physical: 5 GB free") << "物理メモリ" << 5ull * 1024 * kMB << 5119 << "OK";
    }

    void verdictBoundaries() {
        QFETCH(QString, label);
        QFETCH(qulonglong, freeBytes);
        QFETCH(int, limitMB);
        QFETCH(QString, verdict);
        fakes::Environment env;
        setMailHeader();
        env.command.listing = fakes::listingOf({});
        const bool drive = label == "Z:ドライブ", physical = label == "物理メモリ";
        Settings.driveCheck1 = drive;
        Settings.driveIndex1 = 25;
        Settings.driveLimitMB1 = limitMB;
        env.drives.freeBytesByLetter = {{'Z', freeBytes}};
        // The other memory figure stays well clear of its limit.
        Settings.memoryCheck = !drive;
        env.memory.figures = {{50, physical ? freeBytes : 0, physical ? 0 : freeBytes}};
        Settings.memoryLimitMB = std::int16_t(physical ? limitMB : -1);
        Settings.swapLimitMB = std::int16_t(physical ? -1 : limitMB);
        // Without the NG details the line holds no numbers.
        for (const short details : {1, 0}) {
            Settings.showNGDetails = details;
            const QString shown = details == 1 || verdict == "OK" ? verdict : "NG";
            QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
            QVERIFY2(MailMod::mailText.contains("\r\n" + label + " --- " + shown + "\r\n"),
                     qPrintable(MailMod::mailText));
        }
    }

    void serviceMatching_data() {
        QTest::addColumn<QStringList>("watched"); // slots from 0, an empty one included
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QString>("summary");

        const QByteArray ab = fakes::listingOf({"   ServiceA", "   Service B"});
        QTest::newRow("exact lines; names after an empty slot not looked for")
            << QStringList{"   Service B", "   ServiceA", "", "   Missing"} << ab
            << "サービス --- OK";
        QTest::newRow("leading blanks and letter case matter; no partial or trimmed match")
            << QStringList{"   ServiceA", "ServiceA",     "  ServiceA",   "   servicea",
                           "   Service",  "   ServiceA ", "   Service  B"}
            << ab
            << "   ServiceA --- OK\r\nServiceA --- NG\r\n  ServiceA --- NG\r\n   servicea --- "
               "NG\r\n"
               "   Service --- NG\r\n   ServiceA  --- NG\r\n   Service  B --- NG\r\n";
        // Line 3 up to the first empty line holds the names.
        QTest::newRow("heading, line 2 and lines after the first empty line never match")
            << QStringList{"heading", "   Two", "   Three", "   Late", "end"}
            << QByteArray("heading\r\n   Two\r\n   Three\r\n\r\n   Late\r\nend\r\n")
            << "heading --- NG\r\n   Two --- NG\r\n   Three --- OK\r\n   Late --- NG\r\nend --- "
               "NG\r\n";
        QTest::newRow("lines ended by a lone LF")
            << QStringList{"   ServiceA"} << QByteArray("heading\n\n   ServiceA\n\nend\n")
            << "サービス --- OK";
        // Nothing reads a capture cut short when no name is watched and no detail is shown;
        // the listing runs all the same.
        QTest::newRow("empty watch list")
            << QStringList{} << QByteArray("heading\r\n") << "サービス --- OK";
    }

    void serviceMatching() {
        QFETCH(QStringList, watched);
        QFETCH(QByteArray, listing);
        QFETCH(QString, summary);
        fakes::Environment env;
        setMailHeader();
        Settings.showNGDetails = 1;
        for (qsizetype i = 0; i < watched.size(); ++i)
            Settings.watchServices[i] = watched[i];
        env.command.listing = listing;

        QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
        QVERIFY2(MailMod::mailText.endsWith("[サービス動作チェック]\r\n" + summary + "\r\n"),
                 qPrintable(MailMod::mailText));
        QCOMPARE(env.command.started.size(), 1);
        QVERIFY(!env.folder.has("runnings.dat"));
    }

    // The capture appears after three 100 ms polls, with its heading only, and is complete when
    // the listing ends four 10 ms polls later; then the 500 ms pause. Read earlier, it is cut
    // short.
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
        QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
        QCOMPARE(env.sleep.calls, (QList<unsigned>{100, 100, 100, 10, 10, 10, 10, 500}));
        QVERIFY(MailMod::mailText.endsWith("サービス --- OK\r\n"));
    }

    void failurePath_data() {
        QTest::addColumn<Change>("change"); // to the sample's settings
        QTest::addColumn<bool>("listingStarted");
        const auto row = [](const char* name, bool started, Change change) {
            QTest::newRow(name) << change << started;
        };
        row("missing drive", false, [](Env& env) { env.drives.freeBytesByLetter.erase('D'); });
        row("index 26", false, [](Env&) { Settings.driveIndex2 = 26; });
        row("index -1", false, [](Env&) { Settings.driveIndex1 = -1; });
        row("memory not answered", false, [](Env& env) { env.memory.figures.reset(); });
        row("listing cannot start", false, [](Env& env) { env.command.canStart = false; });
        row("capture never appears", true, [](Env& env) { env.command.createsFile = false; });
        row("listing never ends", true, [](Env& env) { env.command.busyPolls = 1 << 30; });
        row("CR in mailFrom", false, [](Env&) { Settings.mailFrom += "\rRCPT TO:<x@localhost>"; });
        row("LF in mailTo", false, [](Env&) { Settings.mailTo += "\nBcc: x@localhost"; });
        row("CR LF in mailSubject", false, [](Env&) { Settings.mailSubject += "\r\n"; });
        row("memory for the details not answered", true,
            [](Env& env) { Settings.memoryCheck = 0, env.memory.figures.reset(); });
        // A listing cut short before the empty line that ends its names.
        row("cut short", true, [](Env& env) { env.command.listing = "heading\r\n\r\n   A\r\n"; });
        row("empty capture", true, [](Env& env) { env.command.listing.clear(); });
        row("cut short, read for the details only", true, [](Env& env) {
            Settings.watchServices = {};
            env.command.listing = "heading\r\n";
        });
    }

    void failurePath() {
        QFETCH(Change, change);
        QFETCH(bool, listingStarted);
        fakes::Environment env;
        setSample(env);
        change(env);

        QCOMPARE(MailMod::ComposeReport(), std::int16_t(1));
        QCOMPARE(env.messageBox.shown.size(), 1);
        const auto& box = env.messageBox.shown[0];
        QCOMPARE(box.text, "エラーが発生しました。設定をもう一度確認してください。");
        QVERIFY(box.title == "Error" && box.style == 0);
        QVERIFY(window_->cmdTestSend->isEnabled());
        QCOMPARE(window_->sendStatus(), "送信エラー");
        QCOMPARE(env.command.started.isEmpty(), !listingStarted);
        // Every wait is bounded: 10 s of polling at most, then the failure.
        QVERIFY(env.sleep.total() <= 10000);
        if (listingStarted && env.command.createsFile)
            QVERIFY(env.folder.has("runnings.dat"));
    }
};

QTEST_MAIN(tst_ComposeReport)
#include "tst_ComposeReport.moc"
