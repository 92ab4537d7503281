// The program as a whole, run as a separate process on the offscreen platform: its exit code
// after a normal end, a stop asked for by the system, a failed start-up and a close during
// an exchange, and the loss of its X display.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

constexpr int RunMs = 60000;
// 99999 as the low byte that a POSIX parent sees.
constexpr int ExitCodeSeen = 99999 & 0xFF;

// True once the process has a handler for SIGTERM, read from its /proc status.
bool CatchesTerm(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:"))
            continue;
        bool ok = false;
        const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (mask & (1ULL << (SIGTERM - 1))) != 0;
    }
    return false;
}

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void stopRequestEndsNormallyWith99999()
    {
        QProcess program;
        program.start(DEVCONFIG_BINARY, {});
        QVERIFY(program.waitForStarted(RunMs));
        QTRY_VERIFY_WITH_TIMEOUT(CatchesTerm(program.processId()), RunMs);
        // Let it reach its event loop with the window up.
        QTest::qWait(500);
        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        QVERIFY(program.waitForFinished(RunMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), ExitCodeSeen);
    }

    void failedStartShowsOneBoxAndEndsWith99999()
    {
        QProcess probe;
        probe.start(WINDOW_PROBE, {"startup-failure"});
        QVERIFY(probe.waitForFinished(RunMs));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), ExitCodeSeen);
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QCOMPARE(out.count("box: "), 1);
        QVERIFY2(out.contains("box: Window_probe | no window today"), qPrintable(out));
    }

    void closeDuringAnExchangeEndsNormallyWith99999()
    {
        QProcess probe;
        probe.start(WINDOW_PROBE, {"close-during-exchange"});
        QVERIFY(probe.waitForFinished(RunMs));
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QVERIFY2(out.contains("command sent; closing"), qPrintable(out));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), ExitCodeSeen);
    }

    void closeDuringTheInitialReadEndsNormallyWith99999()
    {
        QProcess probe;
        probe.start(WINDOW_PROBE, {"close-during-connect"});
        QVERIFY(probe.waitForFinished(RunMs));
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QVERIFY2(out.contains("connected; closing"), qPrintable(out));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), ExitCodeSeen);
    }

    // The instrument's replies come in pieces, with NUL bytes and an over-long line, and the
    // one write of a Save is answered late: the window is closed while Close is disabled and
    // the driver waits, and the program still ends normally, having written only that edit.
    void closeDuringAFaultyWriteBackEndsNormallyWith99999()
    {
        QProcess probe;
        probe.start(WINDOW_PROBE, {"close-during-faulty-write-back"});
        QVERIFY(probe.waitForFinished(RunMs));
        const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
        QVERIFY2(out.contains("read done"), qPrintable(out));
        QVERIFY2(out.contains("write under way, Close disabled; closing"), qPrintable(out));
        QVERIFY2(out.contains("writes: 1\n"), qPrintable(out));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), ExitCodeSeen);
    }

    // The X server goes away under the window, as when a remote session drops: the program
    // ends, not as a normal end, instead of hanging with its comms thread still running.
    void lostDisplayEndsTheProgram()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        if (xvfb.isEmpty() || xdotool.isEmpty())
            QSKIP("needs Xvfb and xdotool (scripts/install-deps installs them)");
        QProcess server;
        server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(server.waitForStarted(RunMs));
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), RunMs);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", ":" + QString::fromLatin1(server.readLine()).trimmed());
        environment.insert("QT_QPA_PLATFORM", "xcb");

        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(DEVCONFIG_BINARY, {"--simulate"});
        QVERIFY(program.waitForStarted(RunMs));
        QProcess search;
        search.setProcessEnvironment(environment);
        search.start(xdotool, {"search", "--sync", "--name", "^Device Configuration$"});
        QVERIFY(search.waitForFinished(RunMs));
        QCOMPARE(search.exitCode(), 0);

        // Ended, not killed: the server closes every connection all the same, and takes its
        // socket and lock files in /tmp with it instead of leaving them to the next server.
        server.terminate();
        QVERIFY(server.waitForFinished(RunMs));
        QVERIFY2(program.waitForFinished(RunMs), "the program hangs once its display is gone");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY(program.exitCode() != ExitCodeSeen);
    }
};

QTEST_GUILESS_MAIN(TestProgram)

#include "program_qtest.moc"
