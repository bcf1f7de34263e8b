// The real QSerialPort path against morvane-sim over a pseudo-terminal.
#include "device.h"
#include "exchange.h"
#include "mscomm.h"
#include "simprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace morvane;

class TstLinkSim : public QObject {
    Q_OBJECT

    SysSettingsRecord settings_;
    SystemClock clock_;
    QStringList messages_;

    // Opens port 1 of `dir`, whose COM1 is linked to the simulator.
    qint16 open(MSComm& comm, const QString& dir) {
        comm.setAppDir(dir);
        return COM_Init(comm, settings_);
    }
    QString ask(Link& link, const QString& command) {
        link.TrnBuf = command;
        link.CMM_TRNA(link.TrnBuf, link.RecBuf);
        return link.RecBuf;
    }

private slots:
    void init() {
        settings_ = SysSettingsRecord{};
        messages_.clear();
    }

    void fullTableRead() {
        SimProcess sim;
        QTemporaryDir dir;
        QFile t(dir.filePath("table.txt"));
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("00 00 00 00 00\n00 00 00 00 00\n00 00 00 00 00\n02 07 1E 00 09\n"
                "00 00 00 00 00\n00 00 00 00 00\n00 00 00 00 00\n00 00 00 00 00\n"
                "00 00 00 00 00\n07 17 3B 3B 81\n");
        t.close();
        QVERIFY2(sim.start({"--link", dir.filePath("COM1"), "--table", t.fileName()}),
                 qPrintable(sim.errorString()));
        MSComm comm;
        QCOMPARE(open(comm, dir.path()), qint16(0));
        Link link(settings_, clock_, [this](const QString& m) { messages_ << m; });
        link.setPort(&comm);

        const QString qt = ask(link, "QT");
        QVERIFY2(QRegularExpression("^T0[0-6][0-9A-F]{2}\r$").match(qt).hasMatch(), qPrintable(qt));
        QVERIFY(QRegularExpression("^S[0-3][0-9A-F][0-3][0-9A-F]\r$")
                    .match(ask(link, "QS"))
                    .hasMatch());
        QCOMPARE(ask(link, "L3"), QStringLiteral("L02071E0009\r"));
        QCOMPARE(ask(link, "L9"), QStringLiteral("L07173B3B81\r"));
        QCOMPARE(ask(link, "X"), QStringLiteral("ERR\r"));
        QVERIFY(messages_.isEmpty());
        QCOMPARE(sim.loggedCommands(), (QStringList{"QT", "QS", "L3", "L9", "X"}));
    }

    void silentSimulator() {
        SimProcess sim;
        QTemporaryDir dir;
        QVERIFY(sim.start({"--silent", "--link", dir.filePath("COM1")}));
        MSComm comm;
        QCOMPARE(open(comm, dir.path()), qint16(0));
        settings_.ComReTry = 2;
        Link link(settings_, clock_, [this](const QString& m) { messages_ << m; });
        link.setPort(&comm);
        QCOMPARE(ask(link, "QT"), QStringLiteral("ERROR"));
        QCOMPARE(messages_, QStringList{MsgNotConnected});
        QCOMPARE(sim.loggedCommands(), (QStringList{"QT", "QT"}));
        QCOMPARE(link.ComStatus, qint16(0)); // a silent device is no reason to close
    }

    void simulatorGoesAwayMidExchange() {
        SimProcess sim;
        QTemporaryDir dir;
        QVERIFY(sim.start({"--vanish-after", "1", "--link", dir.filePath("COM1")}));
        MSComm comm;
        QCOMPARE(open(comm, dir.path()), qint16(0));
        // Only the failure path closes the port and sets 99; a time-out would not.
        settings_.ComReTry = 3;
        Link link(settings_, clock_, [this](const QString& m) { messages_ << m; });
        link.setPort(&comm);
        QVERIFY(ask(link, "QT").startsWith('T'));
        QCOMPARE(ask(link, "QS"), QStringLiteral("ERROR"));
        QCOMPARE(messages_, QStringList{MsgNotConnected});
        QCOMPARE(link.ComStatus, qint16(99));
        QVERIFY(!comm.PortOpen());
        // The next action asks for the port to be set up again.
        messages_.clear();
        link.RecBuf = "kept";
        ask(link, "QT");
        QCOMPARE(messages_, QStringList{MsgSetUpPortAgain});
        QCOMPARE(link.RecBuf, QStringLiteral("kept"));
    }

    void busyPortFailsToOpen() {
        SimProcess sim;
        QTemporaryDir dir;
        QVERIFY(sim.start({"--link", dir.filePath("COM1")}));
        MSComm first, second;
        QCOMPARE(open(first, dir.path()), qint16(0));
        QCOMPARE(open(second, dir.path()), qint16(99));
        QVERIFY(!second.PortOpen());
        first.setPortOpen(false);
        QCOMPARE(open(second, dir.path()), qint16(0));
    }

    void portNumberFindsItsLink() {
        SimProcess sim;
        QTemporaryDir dir;
        QVERIFY(sim.start({"--link", dir.filePath("COM7")}));
        MSComm comm;
        comm.setAppDir(dir.path());
        settings_.COMPORT = 7;
        QCOMPARE(COM_Init(comm, settings_), qint16(0));
        Link link(settings_, clock_, [this](const QString& m) { messages_ << m; });
        link.setPort(&comm);
        QCOMPARE(ask(link, "L0"), QStringLiteral("L0000000000\r"));
        QCOMPARE(comm.portPath(), dir.filePath("COM7"));
    }
};

QTEST_GUILESS_MAIN(TstLinkSim)
#include "tst_link_sim.moc"
