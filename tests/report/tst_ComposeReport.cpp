#include "app/frmMain.h"
#include "app/variables.h"
#include "report/MailMod.h"
#include "support/Fakes.h"

#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

constexpr qulonglong kMB = 1024 * 1024;
const QString kError = QStringLiteral("エラーが発生しました。設定をもう一度確認してください。");

// Lines each ended by CR LF.
QString crlfLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

const QStringList kHeader = {
    QStringLiteral("From: tolvane@localhost"),
    QStringLiteral("To: admin@localhost"),
    QStringLiteral("Subject: Status Tolvane"),
    QStringLiteral("X-Mailer: Tolvane by Velmora 2.0.0"),
};

void setMailHeader() {
    Settings.mailFrom = QStringLiteral("tolvane@localhost");
    Settings.mailTo = QStringLiteral("admin@localhost");
    Settings.mailSubject = QStringLiteral("Status Tolvane");
}

// The settings and machine state of the worked example of the report.
void setWorkedExample(fakes::Environment& env) {
    setMailHeader();
    Settings.driveCheck1 = 1;
    Settings.driveIndex1 = 2;
    Settings.driveLimitMB1 = 500;
    Settings.driveCheck2 = 1;
    Settings.driveIndex2 = 3;
    Settings.driveLimitMB2 = 2000;
    Settings.driveCheck3 = 0;
    Settings.memoryCheck = 1;
    Settings.memoryLimitMB = 100;
    Settings.swapLimitMB = 200;
    Settings.watchServices[0] = QStringLiteral("   ServiceA");
    Settings.watchServices[1] = QStringLiteral("   ServiceB");
    Settings.showNGDetails = 1;
    Settings.showDetails = 1;
    env.drives.freeBytesByLetter = {{'C', 10240 * kMB}, {'D', 1500 * kMB}};
    env.memory.figures = platform::MemoryFigures{61, 312 * kMB, 150 * kMB};
    env.command.listing =
        fakes::listingOf({QStringLiteral("   ServiceA"), QStringLiteral("   ServiceC")});
}

// A listing that is still being written while it runs: the heading at first,
// the rest once it has ended.
class SlowListing final : public platform::CommandStart {
public:
    int busyPolls = 0;
    QByteArray finalText;

    std::unique_ptr<platform::RunningCommand>
    startServiceListing(const std::filesystem::path& folder, const std::string& name) override {
        path_ = QString::fromStdString((folder / name).string());
        write("次のサービスが開始されています:\r\n");
        return std::make_unique<Running>(*this);
    }

private:
    class Running final : public platform::RunningCommand {
    public:
        explicit Running(SlowListing& owner) : owner_(owner) {}
        bool hasEnded() override {
            if (owner_.busyPolls-- > 0)
                return false;
            owner_.write(owner_.finalText);
            return true;
        }

    private:
        SlowListing& owner_;
    };

    void write(const QByteArray& bytes) {
        QFile f(path_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path_));
    }
    QString path_;
};

} // namespace

class tst_ComposeReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void workedExample();
    void workedExampleWithoutNGDetails();
    void allChecksOff();
    void everyServiceRunning();
    void detailsWithMemoryOff();
    void detailsWithAllDrivesOff();
    void laterDriveSlotsWithFirstOff_data();
    void laterDriveSlotsWithFirstOff();
    void verdictBoundaries_data();
    void verdictBoundaries();
    void serviceMatching_data();
    void serviceMatching();
    void captureWait();
    void captureNotReadBeforeListingEnds();
    void failurePath_data();
    void failurePath();
    void everyCompositionStartsAfresh();

private:
    std::unique_ptr<frmMain> window_;
};

void tst_ComposeReport::initTestCase() {
    window_ = std::make_unique<frmMain>();
}

void tst_ComposeReport::init() {
    // As the caller leaves them before composing.
    window_->cmdTestSend->setEnabled(false);
    window_->setSendStatus(QStringLiteral("送信中..."));
}

void tst_ComposeReport::workedExample() {
    fakes::Environment env;
    setWorkedExample(env);

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    const QString expected = crlfLines(
        kHeader + QStringList{
                      QString(),
                      QStringLiteral("[HDD容量チェック]"),
                      QStringLiteral("C:ドライブ --- OK"),
                      QStringLiteral("D:ドライブ --- 空き容量が、2000 MBを下回りました。"
                                     "現在、1500 MBの空きがあります。"),
                      QString(),
                      QStringLiteral("[メモリ容量チェック]"),
                      QStringLiteral("物理メモリ --- OK"),
                      QStringLiteral("スワップメモリ --- 空き容量が、200 MBを下回りました。"
                                     "現在、150 MBの空きがあります。"),
                      QString(),
                      QStringLiteral("[サービス動作チェック]"),
                      QStringLiteral("   ServiceA --- OK"),
                      QStringLiteral("   ServiceB --- NG"),
                      QString(),
                      QString(),
                      QStringLiteral("==============ここから詳細内容=============="),
                      QString(),
                      QStringLiteral("[ディスク容量]"),
                      QStringLiteral("C:ドライブ --- 10240 MBの空き"),
                      QStringLiteral("D:ドライブ --- 1500 MBの空き"),
                      QString(),
                      QStringLiteral("[メモリ情報]"),
                      QStringLiteral("物理メモリ使用率 --- 61 % 使用中"),
                      QStringLiteral("物理メモリ空き   --- 312 MBの空き"),
                      QStringLiteral("スワップメモリ空き --- 150 MBの空き"),
                      QString(),
                      QStringLiteral("[動作中のサービス]"),
                      QStringLiteral("   ServiceA"),
                      QStringLiteral("   ServiceC"),
                      QString(),
                  });
    QCOMPARE(MailMod::mailText, expected);
    QCOMPARE(MailMod::mailText.count(QStringLiteral("\r\n")), 33);

    QCOMPARE(env.drives.asked, (QList<char>{'C', 'D'}));
    QCOMPARE(env.memory.queries, 1);
    QCOMPARE(env.command.started.size(), 1);
    QCOMPARE(env.command.started[0].folder, env.folder.path());
    QCOMPARE(env.command.started[0].outputName, QStringLiteral("runnings.dat"));
    QVERIFY(!env.folder.has(QStringLiteral("runnings.dat")));
    QVERIFY(env.messageBox.shown.isEmpty());
    // Success leaves the window to the caller.
    QVERIFY(!window_->cmdTestSend->isEnabled());
    QCOMPARE(window_->sendStatus(), QStringLiteral("送信中..."));
}

void tst_ComposeReport::workedExampleWithoutNGDetails() {
    fakes::Environment env;
    setWorkedExample(env);
    Settings.showNGDetails = 0;

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    const QStringList body = MailMod::mailText.split(QStringLiteral("\r\n"));
    // Two lines fewer: one summary line, one empty line; nothing after the final CR LF.
    QCOMPARE(body.size(), 31 + 1);
    const QStringList expectedStart =
        kHeader + QStringList{
                      QString(),
                      QStringLiteral("[HDD容量チェック]"),
                      QStringLiteral("C:ドライブ --- OK"),
                      QStringLiteral("D:ドライブ --- NG"),
                      QString(),
                      QStringLiteral("[メモリ容量チェック]"),
                      QStringLiteral("物理メモリ --- OK"),
                      QStringLiteral("スワップメモリ --- NG"),
                      QString(),
                      QStringLiteral("[サービス動作チェック]"),
                      QStringLiteral("サービス --- NG"),
                      QString(),
                      QStringLiteral("==============ここから詳細内容=============="),
                      QString(),
                      QStringLiteral("[ディスク容量]"),
                  };
    QCOMPARE(body.mid(0, 19), expectedStart);
    // The numbers stand in the detail section only.
    QVERIFY(
        !body.mid(0, 15).join(QString()).contains(QRegularExpression(QStringLiteral("\\d{3}"))));
    QCOMPARE(body[19], QStringLiteral("C:ドライブ --- 10240 MBの空き"));
    QCOMPARE(body.back(), QString());
}

void tst_ComposeReport::allChecksOff() {
    fakes::Environment env;
    setMailHeader();
    env.command.listing = fakes::listingOf({QStringLiteral("   ServiceA")});

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QCOMPARE(MailMod::mailText,
             crlfLines(kHeader + QStringList{QString(), QStringLiteral("[サービス動作チェック]"),
                                             QStringLiteral("サービス --- OK")}));
    QCOMPARE(env.command.started.size(), 1);
    QVERIFY(!env.folder.has(QStringLiteral("runnings.dat")));
    QCOMPARE(env.memory.queries, 0);
    QVERIFY(env.drives.asked.isEmpty());
}

void tst_ComposeReport::everyServiceRunning() {
    fakes::Environment env;
    setWorkedExample(env);
    Settings.showDetails = 0;
    env.command.listing =
        fakes::listingOf({QStringLiteral("   ServiceB"), QStringLiteral("   ServiceA")});

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY(MailMod::mailText.endsWith(
        QStringLiteral("[サービス動作チェック]\r\nサービス --- OK\r\n")));
    QVERIFY(!MailMod::mailText.contains(QStringLiteral("ServiceA")));
}

void tst_ComposeReport::detailsWithMemoryOff() {
    fakes::Environment env;
    setWorkedExample(env);
    Settings.memoryCheck = 0;
    env.memory.figures = platform::MemoryFigures{7, 2048 * kMB + kMB - 1, 0};

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY(!MailMod::mailText.contains(QStringLiteral("[メモリ容量チェック]")));
    QVERIFY(MailMod::mailText.contains(
        QStringLiteral("\r\n[メモリ情報]\r\n物理メモリ使用率 --- 7 % 使用中\r\n"
                       "物理メモリ空き   --- 2048 MBの空き\r\n"
                       "スワップメモリ空き --- 0 MBの空き\r\n\r\n[動作中のサービス]\r\n")));
    QCOMPARE(env.memory.queries, 1);
}

void tst_ComposeReport::detailsWithAllDrivesOff() {
    fakes::Environment env;
    setWorkedExample(env);
    Settings.driveCheck1 = Settings.driveCheck2 = Settings.driveCheck3 = 0;

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY(!MailMod::mailText.contains(QStringLiteral("ディスク容量")));
    QVERIFY(!MailMod::mailText.contains(QStringLiteral("HDD")));
    QVERIFY(MailMod::mailText.contains(QStringLiteral(
        "==============ここから詳細内容==============\r\n\r\n\r\n[メモリ情報]\r\n")));
    QVERIFY(MailMod::mailText.startsWith(
        crlfLines(kHeader + QStringList{QString(), QStringLiteral("[メモリ容量チェック]")})));
}

void tst_ComposeReport::laterDriveSlotsWithFirstOff_data() {
    QTest::addColumn<QList<std::int16_t>>("checks");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("details");

    const QString c = QStringLiteral("C:ドライブ --- OK");
    const QString d = QStringLiteral("D:ドライブ --- OK");
    const QString e = QStringLiteral("E:ドライブ --- OK");
    const QString cFree = QStringLiteral("C:ドライブ --- 3000 MBの空き");
    const QString dFree = QStringLiteral("D:ドライブ --- 4000 MBの空き");
    const QString eFree = QStringLiteral("E:ドライブ --- 5000 MBの空き");
    QTest::newRow("slot 2 only") << QList<std::int16_t>{0, 1, 0} << QStringList{d}
                                 << QStringList{dFree};
    QTest::newRow("slot 3 only") << QList<std::int16_t>{0, 0, 1} << QStringList{e}
                                 << QStringList{eFree};
    QTest::newRow("slots 2 and 3")
        << QList<std::int16_t>{0, 1, 1} << QStringList{d, e} << QStringList{dFree, eFree};
    QTest::newRow("slots 1 and 3")
        << QList<std::int16_t>{1, 0, 1} << QStringList{c, e} << QStringList{cFree, eFree};
    // A flag other than 1 is off.
    QTest::newRow("flag 2 is off")
        << QList<std::int16_t>{2, -1, 1} << QStringList{e} << QStringList{eFree};
}

void tst_ComposeReport::laterDriveSlotsWithFirstOff() {
    QFETCH(QList<std::int16_t>, checks);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, details);
    fakes::Environment env;
    setMailHeader();
    Settings.driveCheck1 = checks[0];
    Settings.driveCheck2 = checks[1];
    Settings.driveCheck3 = checks[2];
    Settings.driveIndex1 = 2;
    Settings.driveIndex2 = 3;
    Settings.driveIndex3 = 4;
    Settings.driveLimitMB1 = Settings.driveLimitMB2 = Settings.driveLimitMB3 = 1;
    Settings.showDetails = 1;
    env.drives.freeBytesByLetter = {{'C', 3000 * kMB}, {'D', 4000 * kMB}, {'E', 5000 * kMB}};
    env.command.listing = fakes::listingOf({});

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY2(MailMod::mailText.startsWith(crlfLines(
                 kHeader + QStringList{QString(), QStringLiteral("[HDD容量チェック]")} + lines +
                 QStringList{QString(), QStringLiteral("[サービス動作チェック]")})),
             qPrintable(MailMod::mailText));
    QVERIFY(MailMod::mailText.contains(
        crlfLines(QStringList{QStringLiteral("==============ここから詳細内容=============="),
                              QString(), QStringLiteral("[ディスク容量]")} +
                  details + QStringList{QString(), QStringLiteral("[メモリ情報]")})));
}

void tst_ComposeReport::verdictBoundaries_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qulonglong>("freeBytes");
    QTest::addColumn<int>("limitMB");
    QTest::addColumn<QString>("verdict");

    const QString ng1000 =
        QStringLiteral(" --- 空き容量が、1000 MBを下回りました。現在、1000 MBの空きがあります。");
    const QString ng0 =
        QStringLiteral(" --- 空き容量が、0 MBを下回りました。現在、0 MBの空きがあります。");
    const QString ok = QStringLiteral(" --- OK");
    for (const QString& kind :
         {QStringLiteral("drive"), QStringLiteral("physical"), QStringLiteral("swap")}) {
        const auto row = [&](const char* name) {
            return &QTest::addRow("%s: %s", qPrintable(kind), name);
        };
        *row("equal to the limit") << kind << 1000 * kMB << 1000 << ng1000;
        *row("one MB more") << kind << 1001 * kMB << 1000 << ok;
        *row("one byte short of one MB more") << kind << 1001 * kMB - 1 << 1000 << ng1000;
        *row("1,048,575 bytes are 0 MB") << kind << kMB - 1 << 0 << ng0;
        *row("1,048,576 bytes are 1 MB") << kind << kMB << 0 << ok;
        *row("negative limit") << kind << 0ull << -1 << ok;
    }
    // Beyond 32 bits: a drive of 6 TB (6,291,456 MB) free.
    QTest::newRow("drive: 6 TB over its limit")
        << QStringLiteral("drive") << 6ull * 1024 * 1024 * kMB << 6291455 << ok;
    QTest::newRow("drive: 6 TB at its limit")
        << QStringLiteral("drive") << 6ull * 1024 * 1024 * kMB << 6291456
        << QStringLiteral(
               " --- 空き容量が、6291456 MBを下回りました。現在、6291456 MBの空きがあります。");
    QTest::newRow("drive: 5 GB under a 2,147,483,647 MB limit")
        << QStringLiteral("drive") << 5ull * 1024 * kMB << 2147483647
        << QStringLiteral(
               " --- 空き容量が、2147483647 MBを下回りました。現在、5120 MBの空きがあります。");
    QTest::newRow("physical: 5 GB free")
        << QStringLiteral("physical") << 5ull * 1024 * kMB << 5119 << ok;
}

void tst_ComposeReport::verdictBoundaries() {
    QFETCH(QString, kind);
    QFETCH(qulonglong, freeBytes);
    QFETCH(int, limitMB);
    QFETCH(QString, verdict);
    fakes::Environment env;
    setMailHeader();
    Settings.showNGDetails = 1;
    env.command.listing = fakes::listingOf({});
    QString label;
    if (kind == QLatin1String("drive")) {
        Settings.driveCheck1 = 1;
        Settings.driveIndex1 = 25;
        Settings.driveLimitMB1 = limitMB;
        env.drives.freeBytesByLetter = {{'Z', freeBytes}};
        label = QStringLiteral("Z:ドライブ");
    } else {
        Settings.memoryCheck = 1;
        const bool physical = kind == QLatin1String("physical");
        // The other figure stays well clear of its limit.
        env.memory.figures =
            platform::MemoryFigures{50, physical ? freeBytes : 0, physical ? 0 : freeBytes};
        (physical ? Settings.memoryLimitMB : Settings.swapLimitMB) = std::int16_t(limitMB);
        (physical ? Settings.swapLimitMB : Settings.memoryLimitMB) = -1;
        label = physical ? QStringLiteral("物理メモリ") : QStringLiteral("スワップメモリ");
    }
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY2(MailMod::mailText.contains(QStringLiteral("\r\n") + label + verdict +
                                        QStringLiteral("\r\n")),
             qPrintable(MailMod::mailText));

    // Without the NG details the line holds no numbers.
    Settings.showNGDetails = 0;
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    const QString plain = verdict == QLatin1String(" --- OK") ? verdict : QStringLiteral(" --- NG");
    QVERIFY(MailMod::mailText.contains(QStringLiteral("\r\n") + label + plain +
                                       QStringLiteral("\r\n")));
}

void tst_ComposeReport::serviceMatching_data() {
    QTest::addColumn<QStringList>("watched"); // slots from 0, an empty one included
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<short>("showDetails");
    QTest::addColumn<QString>("summary"); // empty: the composition fails

    const QByteArray ab =
        fakes::listingOf({QStringLiteral("   ServiceA"), QStringLiteral("   Service B")});
    QTest::newRow("exact lines") << QStringList{QStringLiteral("   Service B"),
                                                QStringLiteral("   ServiceA")}
                                 << ab << short(0) << QStringLiteral("サービス --- OK");
    QTest::newRow("leading blanks matter")
        << QStringList{QStringLiteral("ServiceA"), QStringLiteral("  ServiceA")} << ab << short(0)
        << QStringLiteral("ServiceA --- NG\r\n  ServiceA --- NG\r\n");
    QTest::newRow("letter case matters")
        << QStringList{QStringLiteral("   ServiceA"), QStringLiteral("   servicea")} << ab
        << short(0) << QStringLiteral("   ServiceA --- OK\r\n   servicea --- NG\r\n");
    QTest::newRow("no partial or trimmed match")
        << QStringList{QStringLiteral("   Service"), QStringLiteral("   ServiceA "),
                       QStringLiteral("   Service  B")}
        << ab << short(0)
        << QStringLiteral("   Service --- NG\r\n   ServiceA  --- NG\r\n   Service  B --- NG\r\n");
    QTest::newRow("names after an empty slot are not looked for")
        << QStringList{QStringLiteral("   ServiceA"), QString(), QStringLiteral("   Missing")} << ab
        << short(0) << QStringLiteral("サービス --- OK");
    QTest::newRow("lines after the first empty line never match")
        << QStringList{QStringLiteral("   Late"), QStringLiteral("コマンドは正常に終了しました。")}
        << QByteArray("heading\r\n\r\n   ServiceA\r\n\r\n   Late\r\n"
                      "コマンドは正常に終了しました。\r\n")
        << short(0)
        << QStringLiteral("   Late --- NG\r\nコマンドは正常に終了しました。 --- NG\r\n");
    QTest::newRow("the heading and line 2 never match")
        << QStringList{QStringLiteral("heading"), QStringLiteral("   Two"),
                       QStringLiteral("   Three")}
        << QByteArray("heading\r\n   Two\r\n   Three\r\n\r\nend\r\n") << short(0)
        << QStringLiteral("heading --- NG\r\n   Two --- NG\r\n   Three --- OK\r\n");
    QTest::newRow("lines ended by a lone LF") << QStringList{QStringLiteral("   ServiceA")}
                                              << QByteArray("heading\n\n   ServiceA\n\nend\n")
                                              << short(0) << QStringLiteral("サービス --- OK");
    QTest::newRow("cut short before its empty line")
        << QStringList{QStringLiteral("   ServiceA")}
        << QByteArray("heading\r\n\r\n   ServiceA\r\n") << short(0) << QString();
    QTest::newRow("cut short after its heading")
        << QStringList{QStringLiteral("   ServiceA")} << QByteArray("heading\r\n") << short(0)
        << QString();
    QTest::newRow("empty capture")
        << QStringList{QStringLiteral("   ServiceA")} << QByteArray() << short(0) << QString();
    // Nothing reads a capture cut short when no name is watched and no detail is shown.
    QTest::newRow("cut short, unread") << QStringList{} << QByteArray("heading\r\n") << short(0)
                                       << QStringLiteral("サービス --- OK");
    QTest::newRow("cut short, read for the details")
        << QStringList{} << QByteArray("heading\r\n") << short(1) << QString();
}

void tst_ComposeReport::serviceMatching() {
    QFETCH(QStringList, watched);
    QFETCH(QByteArray, listing);
    QFETCH(short, showDetails);
    QFETCH(QString, summary);
    fakes::Environment env;
    setMailHeader();
    Settings.showNGDetails = 1;
    Settings.showDetails = showDetails;
    for (qsizetype i = 0; i < watched.size(); ++i)
        Settings.watchServices[i] = watched[i];
    env.command.listing = listing;

    const std::int16_t result = MailMod::ComposeReport();
    if (summary.isEmpty()) {
        QCOMPARE(result, std::int16_t(1));
        QCOMPARE(env.messageBox.shown.size(), 1);
        QVERIFY(env.folder.has(QStringLiteral("runnings.dat")));
        return;
    }
    QCOMPARE(result, std::int16_t(0));
    QVERIFY2(MailMod::mailText.endsWith(QStringLiteral("[サービス動作チェック]\r\n") + summary +
                                        QStringLiteral("\r\n")),
             qPrintable(MailMod::mailText));
}

void tst_ComposeReport::captureWait() {
    fakes::Environment env;
    setMailHeader();
    Settings.watchServices[0] = QStringLiteral("   ServiceA");
    // The capture appears after three polls, and the listing ends after four
    // more checks.
    env.command.createsFile = false;
    env.command.busyPolls = 4;
    env.sleep.onSleep = [&] {
        if (env.sleep.calls.size() == 3)
            env.folder.write(QStringLiteral("runnings.dat"),
                             fakes::listingOf({QStringLiteral("   ServiceA")}));
    };
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QCOMPARE(env.sleep.calls, (QList<unsigned>{100, 100, 100, 10, 10, 10, 10, 500}));
    QVERIFY(MailMod::mailText.endsWith(QStringLiteral("サービス --- OK\r\n")));

    // A capture left by a failed composition ends the wait at the first test
    // (the name is found under any case).
    fakes::Environment again;
    setMailHeader();
    again.command.createsFile = false;
    again.folder.write(QStringLiteral("RunNings.dat"), fakes::listingOf({}));
    QVERIFY(QFile::rename(again.folder.file(QStringLiteral("RunNings.dat")),
                          again.folder.file(QStringLiteral("runnings.dat"))));
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QCOMPARE(again.sleep.calls, (QList<unsigned>{500}));
    QVERIFY(!again.folder.has(QStringLiteral("runnings.dat")));
}

void tst_ComposeReport::captureNotReadBeforeListingEnds() {
    fakes::Environment env;
    setMailHeader();
    Settings.showNGDetails = 1;
    Settings.watchServices[0] = QStringLiteral("   ServiceA");
    SlowListing slow;
    slow.busyPolls = 60; // 600 ms, longer than the pause after the listing
    slow.finalText = fakes::listingOf({QStringLiteral("   ServiceA")});
    platform::ScopedOverride<platform::CommandStart> inPlace(slow);

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QVERIFY(MailMod::mailText.endsWith(QStringLiteral("サービス --- OK\r\n")));
    QCOMPARE(env.sleep.calls.back(), 500u);
}

void tst_ComposeReport::failurePath_data() {
    QTest::addColumn<QString>("cause");
    QTest::addColumn<bool>("listingStarted");

    QTest::newRow("missing drive") << "missing drive" << false;
    QTest::newRow("index 26") << "index 26" << false;
    QTest::newRow("index -1") << "index -1" << false;
    QTest::newRow("memory not answered") << "memory" << false;
    QTest::newRow("listing cannot start") << "cannot start" << false;
    QTest::newRow("capture never appears") << "no capture" << true;
    QTest::newRow("listing never ends") << "never ends" << true;
    QTest::newRow("CR in mailFrom") << "from" << false;
    QTest::newRow("LF in mailTo") << "to" << false;
    QTest::newRow("CR LF in mailSubject") << "subject" << false;
    QTest::newRow("memory for the details not answered") << "detail memory" << true;
}

void tst_ComposeReport::failurePath() {
    QFETCH(QString, cause);
    QFETCH(bool, listingStarted);
    fakes::Environment env;
    setWorkedExample(env);
    if (cause == QLatin1String("missing drive"))
        env.drives.freeBytesByLetter.erase('D');
    else if (cause == QLatin1String("index 26"))
        Settings.driveIndex2 = 26;
    else if (cause == QLatin1String("index -1"))
        Settings.driveIndex1 = -1;
    else if (cause == QLatin1String("memory"))
        env.memory.figures.reset();
    else if (cause == QLatin1String("cannot start"))
        env.command.canStart = false;
    else if (cause == QLatin1String("no capture"))
        env.command.createsFile = false;
    else if (cause == QLatin1String("never ends"))
        env.command.busyPolls = 1 << 30;
    else if (cause == QLatin1String("from"))
        Settings.mailFrom += QStringLiteral("\rRCPT TO:<x@localhost>");
    else if (cause == QLatin1String("to"))
        Settings.mailTo += QStringLiteral("\nBcc: x@localhost");
    else if (cause == QLatin1String("subject"))
        Settings.mailSubject += QStringLiteral("\r\n");
    else if (cause == QLatin1String("detail memory")) {
        Settings.memoryCheck = 0;
        env.memory.figures.reset();
    }

    QCOMPARE(MailMod::ComposeReport(), std::int16_t(1));
    QCOMPARE(env.messageBox.shown.size(), 1);
    QCOMPARE(env.messageBox.shown[0].text, kError);
    QCOMPARE(env.messageBox.shown[0].title, QStringLiteral("Error"));
    QCOMPARE(env.messageBox.shown[0].style, 0);
    QVERIFY(window_->cmdTestSend->isEnabled());
    QCOMPARE(window_->sendStatus(), QStringLiteral("送信エラー"));
    QCOMPARE(env.command.started.isEmpty(), !listingStarted);
    // Every wait is bounded: 10 s of polling at most, then the failure.
    QVERIFY(env.sleep.total() <= 10000);
    if (listingStarted && env.command.createsFile)
        QVERIFY(env.folder.has(QStringLiteral("runnings.dat")));
}

void tst_ComposeReport::everyCompositionStartsAfresh() {
    fakes::Environment env;
    setWorkedExample(env);
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    const QString first = MailMod::mailText;
    QCOMPARE(MailMod::ComposeReport(), std::int16_t(0));
    QCOMPARE(MailMod::mailText, first);
    QCOMPARE(env.memory.queries, 2);
    QCOMPARE(env.command.started.size(), 2);
}

QTEST_MAIN(tst_ComposeReport)
#include "tst_ComposeReport.moc"
