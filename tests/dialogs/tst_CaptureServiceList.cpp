#include "dialogs/CaptureServiceList.h"
#include "support/Fakes.h"

#include "platform/Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>

class tst_CaptureServiceList : public QObject {
    Q_OBJECT
private slots:
    void listingShapes_data();
    void listingShapes();
    void leftOverFileSatisfiesTheWaitAtOnce();
    void readsOnlyAfterTheListingHasEnded();
    void waitIsBounded_data();
    void waitIsBounded();
    void capturesWhatTheRealListingPrints();
};

void tst_CaptureServiceList::listingShapes_data() {
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QStringList>("expected");

    const QByteArray heading = QStringLiteral("次のサービスが開始されています:\r\n\r\n").toUtf8();
    QTest::newRow("three services keep their indentation")
        << fakes::listingOf({QStringLiteral("   Alpha"), QStringLiteral("   Beta Service"),
                             QStringLiteral("   ガンマ")})
        << QStringList{QStringLiteral("   Alpha"), QStringLiteral("   Beta Service"),
                       QStringLiteral("   ガンマ")};
    QTest::newRow("no service") << fakes::listingOf({}) << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("heading only") << QByteArray("heading\r\n") << QStringList{};
    QTest::newRow("cut short after two names")
        << heading + "   Alpha\r\n   Be"
        << QStringList{QStringLiteral("   Alpha"), QStringLiteral("   Be")};
    QTest::newRow("a line of blanks is an entry")
        << heading + "   Alpha\r\n   \r\n   Beta\r\n\r\nend\r\n"
        << QStringList{QStringLiteral("   Alpha"), QStringLiteral("   "),
                       QStringLiteral("   Beta")};
    QTest::newRow("lines after the first empty line are not services")
        << heading + "   Alpha\r\n\r\n   Beta\r\n"
        << QStringList{QStringLiteral("   Alpha")};
}

void tst_CaptureServiceList::listingShapes() {
    QFETCH(QByteArray, listing);
    QFETCH(QStringList, expected);
    fakes::Environment env;
    env.command.listing = listing;

    QCOMPARE(CaptureServiceList(), expected);
    QCOMPARE(env.command.started.size(), 1);
    QCOMPARE(env.command.started[0].folder, env.folder.path());
    QCOMPARE(env.command.started[0].outputName, QStringLiteral("service.dat"));
    // The settling pause comes after the listing has ended, before the reading.
    QCOMPARE(env.sleep.calls.last(), 500u);
    QVERIFY(!env.folder.has(QStringLiteral("service.dat")));
}

void tst_CaptureServiceList::leftOverFileSatisfiesTheWaitAtOnce() {
    fakes::Environment env;
    env.folder.write(QStringLiteral("service.dat"), fakes::listingOf({QStringLiteral("   Old")}));
    env.command.createsFile = false;
    env.command.busyPolls = 2;

    QCOMPARE(CaptureServiceList(), QStringList{QStringLiteral("   Old")});
    // No poll for the file; two for the listing to end; then the pause.
    QCOMPARE(env.sleep.calls, (QList<unsigned>{100, 100, 500}));
    QVERIFY(!env.folder.has(QStringLiteral("service.dat")));
}

void tst_CaptureServiceList::readsOnlyAfterTheListingHasEnded() {
    fakes::Environment env;
    env.command.createsFile = false;
    env.command.busyPolls = 4;
    const QByteArray full =
        fakes::listingOf({QStringLiteral("   Alpha"), QStringLiteral("   Beta")});
    // The file appears at the second poll with half the listing; the rest
    // follows two polls later, long after the first 500 ms.
    env.sleep.onSleep = [&] {
        if (env.sleep.calls.size() == 2)
            env.folder.write(QStringLiteral("service.dat"), full.left(full.indexOf("   Beta")));
        if (env.sleep.calls.size() == 4)
            env.folder.write(QStringLiteral("service.dat"), full);
    };

    QCOMPARE(CaptureServiceList(),
             (QStringList{QStringLiteral("   Alpha"), QStringLiteral("   Beta")}));
}

void tst_CaptureServiceList::waitIsBounded_data() {
    QTest::addColumn<bool>("createsFile");
    QTest::addColumn<int>("busyPolls");
    QTest::addColumn<bool>("canStart");

    QTest::newRow("the file never appears") << false << 0 << true;
    QTest::newRow("the listing never ends") << true << 1000000 << true;
    QTest::newRow("the command cannot start") << false << 0 << false;
}

void tst_CaptureServiceList::waitIsBounded() {
    QFETCH(bool, createsFile);
    QFETCH(int, busyPolls);
    QFETCH(bool, canStart);
    fakes::Environment env;
    env.command.listing = fakes::listingOf({QStringLiteral("   Alpha")});
    env.command.createsFile = createsFile;
    env.command.busyPolls = busyPolls;
    env.command.canStart = canStart;

    QCOMPARE(CaptureServiceList(), QStringList{});
    QVERIFY2(env.sleep.total() <= 10000, qPrintable(QString::number(env.sleep.total())));
    QVERIFY(!env.folder.has(QStringLiteral("service.dat")));
}

void tst_CaptureServiceList::capturesWhatTheRealListingPrints() {
    fakes::Environment env;
    platform::ScopedOverride<platform::CommandStart> realCommand(platform::CommandStart::system());
    platform::ScopedOverride<platform::Sleep> realSleep(platform::Sleep::system());
    const QString helper =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tolvane-services"));
    if (!QFileInfo::exists(helper))
        QSKIP("the listing helper is not built");

    QProcess listing;
    listing.start(helper, {});
    QVERIFY(listing.waitForFinished(10000));
    const QStringList lines =
        platform::splitLines(QString::fromUtf8(listing.readAllStandardOutput()));
    const QStringList printed = lines.mid(2, lines.indexOf(QString(), 2) - 2);

    QCOMPARE(CaptureServiceList(), printed);
    QVERIFY(!env.folder.has(QStringLiteral("service.dat")));
}

QTEST_GUILESS_MAIN(tst_CaptureServiceList)
#include "tst_CaptureServiceList.moc"
