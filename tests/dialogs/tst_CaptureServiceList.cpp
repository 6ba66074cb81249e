#include "dialogs/CaptureServiceList.h"
#include "support/Fakes.h"

#include <QtTest>

const QString kCapture = QStringLiteral("service.dat");
const QByteArray kHeading =
    fakes::systemBytes(QStringLiteral("次のサービスが開始されています:\r\n\r\n"));

class tst_CaptureServiceList : public QObject {
    Q_OBJECT
private slots:
    void capture_data() {
        QTest::addColumn<QByteArray>("listing");  // null: the command writes no file
        QTest::addColumn<QByteArray>("leftOver"); // null: no file from an earlier capture
        QTest::addColumn<int>("busyPolls");       // -1: the command cannot start
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<unsigned>(
            "slept"); // polls of 100 ms for the file, 10 ms for the end, 500 ms to settle

        const QByteArray none;
        const QStringList nothing;
        const QStringList three{"   Alpha", "   Beta Service", "   ガンマ"};
        QTest::newRow("three services keep their indentation")
            << fakes::listingOf(three) << none << 0 << three << 500u;
        QTest::newRow("no service") << fakes::listingOf({}) << none << 0 << nothing << 500u;
        QTest::newRow("empty file") << QByteArray("") << none << 0 << nothing << 500u;
        QTest::newRow("cut short after two names") << kHeading + "   Alpha\r\n   Be" << none << 0
                                                   << QStringList{"   Alpha", "   Be"} << 500u;
        QTest::newRow("a line of blanks is an entry; the first empty line ends the list")
            << kHeading + "   Alpha\r\n   \r\n   Beta\r\n\r\n   Gamma\r\n"
            << none << 0 << QStringList{"   Alpha", "   ", "   Beta"} << 500u;
        QTest::newRow("a left-over file is read once the listing has ended")
            << none << fakes::listingOf({"   Old"}) << 2 << QStringList{"   Old"} << 520u;
        QTest::newRow("the file never appears") << none << none << 0 << nothing << 10000u;
        QTest::newRow("the listing never ends") << kHeading << none << 1000000 << nothing << 10000u;
        QTest::newRow("the command cannot start") << none << none << -1 << nothing << 0u;
    }

    void capture() {
        QFETCH(QByteArray, listing);
        QFETCH(QByteArray, leftOver);
        QFETCH(int, busyPolls);
        fakes::Environment env;
        env.command.listing = listing;
        env.command.createsFile = !listing.isNull();
        env.command.busyPolls = busyPolls;
        env.command.canStart = busyPolls >= 0;
        if (!leftOver.isNull())
            env.folder.write(kCapture, leftOver);

        QTEST(CaptureServiceList(), "expected");
        QTEST(env.sleep.total(), "slept");
        QVERIFY(!env.folder.has(kCapture));
    }
};

QTEST_GUILESS_MAIN(tst_CaptureServiceList)
#include "tst_CaptureServiceList.moc"
