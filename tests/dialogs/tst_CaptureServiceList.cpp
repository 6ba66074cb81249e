#include "dialogs/CaptureServiceList.h"
#include "platform/Files.h"
#include "support/Fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QtTest>

const QString kCapture = QStringLiteral("service.dat");
const QByteArray kHeading = QStringLiteral("次のサービスが開始されています:\r\n\r\n").toUtf8();

class tst_CaptureServiceList : public QObject {
    Q_OBJECT
private slots:
    void capture_data();
    void capture();
    void readsOnlyAfterTheListingHasEnded();
    void capturesWhatTheRealListingPrints();
};

void tst_CaptureServiceList::capture_data() {
    QTest::addColumn<QByteArray>("listing");  // null: the command writes no file
    QTest::addColumn<QByteArray>("leftOver"); // null: no file from an earlier capture
    QTest::addColumn<int>("busyPolls");       // -1: the command cannot start
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<unsigned>("slept"); // polls of 100 ms, then 500 ms to settle

    const QByteArray none;
    const QStringList nothing;
    const QStringList three{"   Alpha", "   Beta Service", "   ガンマ"};
    QTest::newRow("three services keep their indentation")
        << fakes::listingOf(three) << none << 0 << three << 500u;
    QTest::newRow("no service") << fakes::listingOf({}) << none << 0 << nothing << 500u;
    QTest::newRow("empty file") << QByteArray("") << none << 0 << nothing << 500u;
    QTest::newRow("cut short after two names")
        << kHeading + "   Alpha\r\n   Be" << none << 0 << QStringList{"   Alpha", "   Be"} << 500u;
    QTest::newRow("a line of blanks is an entry; the first empty line ends the list")
        << kHeading + "   Alpha\r\n   \r\n   Beta\r\n\r\n   Gamma\r\n"
        << none << 0 << QStringList{"   Alpha", "   ", "   Beta"} << 500u;
    QTest::newRow("a left-over file is read once the listing has ended")
        << none << fakes::listingOf({"   Old"}) << 2 << QStringList{"   Old"} << 700u;
    QTest::newRow("the file never appears") << none << none << 0 << nothing << 10000u;
    QTest::newRow("the listing never ends") << kHeading << none << 1000000 << nothing << 10000u;
    QTest::newRow("the command cannot start") << none << none << -1 << nothing << 0u;
}

void tst_CaptureServiceList::capture() {
    QFETCH(QByteArray, listing);
    QFETCH(QByteArray, leftOver);
    QFETCH(int, busyPolls);
    QFETCH(QStringList, expected);
    QFETCH(unsigned, slept);
    fakes::Environment env;
    env.command.listing = listing;
    env.command.createsFile = !listing.isNull();
    env.command.busyPolls = busyPolls;
    env.command.canStart = busyPolls >= 0;
    if (!leftOver.isNull())
        env.folder.write(kCapture, leftOver);

    QCOMPARE(CaptureServiceList(), expected);
    QCOMPARE(env.sleep.total(), slept);
    QVERIFY(!env.folder.has(kCapture));
}

void tst_CaptureServiceList::readsOnlyAfterTheListingHasEnded() {
    fakes::Environment env;
    env.command.createsFile = false;
    env.command.busyPolls = 4;
    const QByteArray full = fakes::listingOf({"   Alpha", "   Beta"});
    // The file appears at the second poll with half the listing; the rest
    // follows two polls later, long after the first 500 ms.
    env.sleep.onSleep = [&] {
        const auto polls = env.sleep.calls.size();
        if (polls == 2 || polls == 4)
            env.folder.write(kCapture, polls == 2 ? full.left(full.indexOf("   Beta")) : full);
    };
    QCOMPARE(CaptureServiceList(), (QStringList{"   Alpha", "   Beta"}));
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
    QCOMPARE(CaptureServiceList(), lines.mid(2, lines.indexOf(QString(), 2) - 2));
    QVERIFY(!env.folder.has(kCapture));
}

QTEST_GUILESS_MAIN(tst_CaptureServiceList)
#include "tst_CaptureServiceList.moc"
