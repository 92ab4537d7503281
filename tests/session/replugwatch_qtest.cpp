// The decisions behind the replug and the port's status texts, without a window.
#include "serial/adapterlocator.h"
#include "session/linewords.h"
#include "session/replugwatch.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestReplugWatch : public QObject
{
    Q_OBJECT

private slots:
    void looksAtMostOncePerIntervalAndOnlyWhenConnectIsAccepted()
    {
        constexpr uint64_t T = TReplugWatch::LookIntervalMs;
        struct Step
        {
            uint64_t now;
            bool connectAllowed;
            bool looks;
        };
        TReplugWatch watch;
        QVERIFY(!watch.TimeToLook(5 * T, true)); // not watching
        watch.Start(0);
        const Step steps[] = {
            {0, true, false},      {T - 1, true, false},     {T, true, true},
            {T + 1, true, false},  {2 * T - 1, true, false}, {2 * T, false, false}, // a commit
            {3 * T, false, false}, {3 * T + 7, true, true},                         // at once
            {4 * T, true, false},  {4 * T + 7, true, true},
        };
        for (const Step& step : steps)
            QVERIFY2(watch.TimeToLook(step.now, step.connectAllowed) == step.looks,
                     QByteArray::number(qulonglong(step.now)));
    }

    void aFailedConnectIsTriedAgainAndASuccessfulOneEndsTheWatch()
    {
        constexpr uint64_t T = TReplugWatch::LookIntervalMs;
        TReplugWatch watch;
        watch.Start(0);
        QVERIFY(watch.TimeToLook(T, true));
        watch.ConnectTried(false, T + 50);
        QVERIFY(watch.Watching());
        QVERIFY(!watch.TimeToLook(2 * T, true));
        QVERIFY(watch.TimeToLook(2 * T + 50, true));
        watch.ConnectTried(true, 2 * T + 60);
        QVERIFY(!watch.Watching());
        QVERIFY(!watch.TimeToLook(10 * T, true));

        watch.Start(0); // a click on Connect stops it too
        watch.Stop();
        QVERIFY(!watch.TimeToLook(10 * T, true));
    }

    void statusTextFollowsTheKindNotTheSystemText_data()
    {
        QTest::addColumn<TCommsPort::ErrorKind>("kind");
        QTest::addColumn<QString>("status");
        using Kind = TCommsPort::ErrorKind;
        const QString device = QStringLiteral("Device: /dev/ttyUSB0 NOT OPENED - ");
        QTest::newRow("not found") << Kind::NotFound << device + "not found";
        QTest::newRow("access denied") << Kind::AccessDenied << device + "access denied";
        QTest::newRow("in use") << Kind::InUse << device + "in use by another program";
        QTest::newRow("settings") << Kind::SettingsRefused << device + "line settings refused";
        QTest::newRow("other") << Kind::Other << device + "Input/output error";
    }

    void statusTextFollowsTheKindNotTheSystemText()
    {
        QFETCH(TCommsPort::ErrorKind, kind);
        QFETCH(QString, status);
        const TPortFailure failure{kind, "Input/output error"};
        QCOMPARE(QString::fromStdString(TLineWords::NotOpened("/dev/ttyUSB0", failure)), status);
    }

    void openedStatusTellsOfRefusedSettings()
    {
        using Kind = TCommsPort::ErrorKind;
        QCOMPARE(TLineWords::Opened("COM 5", Kind::None), std::string("Device: COM 5 OK"));
        QVERIFY(TLineWords::Opened("COM 5", Kind::SettingsRefused).find("settings refused") !=
                std::string::npos);
    }

    void aNamedDeviceIsPresentOnlyWhileItExists()
    {
#ifdef _WIN32
        QSKIP("A named device on Windows is a DOS device, not a file: the COM port window "
              "tests look at one");
#endif
        QTemporaryDir dir;
        const QString device = dir.filePath("ttyUSB0");
        TAdapterLocator locator;
        locator.UseDevice(device.toStdString());
        QVERIFY(!locator.AdapterPresent());
        QFile node(device);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QVERIFY(locator.AdapterPresent());
    }
};

QTEST_GUILESS_MAIN(TestReplugWatch)

#include "replugwatch_qtest.moc"
