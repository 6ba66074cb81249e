#include "platform/linux/ServiceListing.h"

#include <QTest>

using Names = QStringList;

namespace {
QStringList qt(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names)
        list.append(QString::fromStdString(name));
    return list;
}
} // namespace

class tst_ServiceListing : public QObject {
    Q_OBJECT
private slots:
    void systemctl_data();
    void systemctl();
    void serviceStatus_data();
    void serviceStatus();
    void layout();
};

void tst_ServiceListing::systemctl_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<Names>("names");

    QTest::newRow("recorded")
        << QByteArray(
               "cron.service                          loaded active running Regular background "
               "program "
               "processing daemon\n"
               "dbus.service                          loaded active running D-Bus System Message "
               "Bus\n"
               "getty@tty1.service                    loaded active running Getty on tty1\n"
               "systemd-fsck@dev-disk-by\\x2duuid-0C1F.service loaded active running File System "
               "Check\n"
               "user@1000.service                     loaded active running User Manager for UID "
               "1000\n")
        << Names{"cron", "dbus", "getty@tty1", "systemd-fsck@dev-disk-by\\x2duuid-0C1F",
                 "user@1000"};
    QTest::newRow("order kept") << QByteArray("zz.service loaded active running Z\n"
                                              "aa.service loaded active running A\n")
                                << Names{"zz", "aa"};
    QTest::newRow("not running, or no service")
        << QByteArray("ok.service loaded active running Runs\n"
                      "oneshot.service loaded active exited Ran once\n"
                      "sock.socket loaded active running Not a service\n"
                      ".service loaded active running Nameless\n"
                      "short.service loaded active\n")
        << Names{"ok"};
    QTest::newRow("bullet of a failed unit")
        << QByteArray("● bad.service loaded active running B\n"
                      "* old.service loaded active running O\n")
        << Names{"bad", "old"};
    QTest::newRow("no line end, CR LF, blank lines")
        << QByteArray("\n  a.service loaded active running A\r\n\nb.service loaded active running")
        << Names{"a", "b"};
    QTest::newRow("nothing running") << QByteArray() << Names();
}

void tst_ServiceListing::systemctl() {
    QFETCH(QByteArray, output);
    QFETCH(Names, names);
    QCOMPARE(qt(platform::runningUnitsFromSystemctl(output.toStdString())), names);
}

void tst_ServiceListing::serviceStatus_data() {
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<Names>("names");

    QTest::newRow("recorded") << QByteArray(" [ - ]  dbus\n"
                                            " [ ? ]  hwclock.sh\n"
                                            " [ + ]  cron\n"
                                            " [ - ]  postgresql\n"
                                            " [ + ]  ssh\n"
                                            " [ - ]  x11-common\n")
                              << Names{"cron", "ssh"};
    QTest::newRow("spacing varies")
        << QByteArray("[+] a\n\t[  +  ]\tb\r\n [ + ]  c") << Names{"a", "b", "c"};
    QTest::newRow("not a status line") << QByteArray("Usage: service < option >\n"
                                                     " [ + ]\n"
                                                     " [ + ]  two words\n"
                                                     " [ ++ ]  x\n"
                                                     " + ]  y\n"
                                                     " [ +  z\n")
                                       << Names();
}

void tst_ServiceListing::serviceStatus() {
    QFETCH(QByteArray, output);
    QFETCH(Names, names);
    QCOMPARE(qt(platform::runningScriptsFromServiceStatus(output.toStdString())), names);
}

void tst_ServiceListing::layout() {
    QCOMPARE(QByteArray::fromStdString(platform::serviceListingText({"cron", "ssh"})),
             QStringLiteral("次のサービスが開始されています:\r\n\r\n   cron\r\n   ssh\r\n\r\n"
                            "コマンドは正常に終了しました。\r\n")
                 .toUtf8());
    QCOMPARE(QByteArray::fromStdString(platform::serviceListingText({})),
             QStringLiteral("次のサービスが開始されています:\r\n\r\n\r\n"
                            "コマンドは正常に終了しました。\r\n")
                 .toUtf8());
}

QTEST_GUILESS_MAIN(tst_ServiceListing)
#include "tst_ServiceListing.moc"
