// Closing the window while the driver waits for a reply that never comes: the window's
// teardown stops and joins the comms thread at once, without waiting out the reply limit.
#include "ptymaster.h"

#include "app/tapplication.h"
#include "driver/sdi12d.h"
#include "window/mainform.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace {

void BindRead(int slot, const std::string& key, int32_t col, int32_t row)
{
    dev_opt& record = cellTable[static_cast<size_t>(slot)];
    record.ReadKey = key;
    record.WriteKey = key;
    record.Operation = OpRead;
    record.GridId = GridSensor;
    record.Col = col;
    record.Row = row;
    record.Magic = BoundMagic;
}

} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT

private slots:
    void closingDuringAnExchangeJoinsTheCommsThread()
    {
        PtyMaster instrument;
        QVERIFY(instrument.IsOpen());
        sdi12d.OpenDevice(instrument.Slave(), 115200);
        QVERIFY(sdi12d.HoldsDevice());

        auto window = std::make_unique<TMainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        BindRead(21, "S0NAM", 1, 1);
        BindRead(22, "S0FRP", 2, 1);
        sdi12d.Submit({&cellTable[21], &cellTable[22]});

        // The first read is out; the instrument stays silent, so the driver would wait
        // for the full reply limit.
        QVERIFY(instrument.WaitFor("\x02S0NAM?\r\n", 10000));
        QVERIFY(!sdi12d.Idle());
        QVERIFY(sdi12d.ExchangeRunningRaised());

        QElapsedTimer closing;
        closing.start();
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        window.reset();
        // Far below the 100 s reply limit: the thread was not left to finish the exchange.
        QVERIFY2(closing.elapsed() < 30000, qPrintable(QString::number(closing.elapsed())));

        // Nothing ticks the driver any more: a reply now is neither taken nor answered by
        // the next command.
        const int32_t lines = sdi12d.LinesCompleted();
        instrument.Received.clear();
        QVERIFY(instrument.Send("late\r\n"));
        QTest::qWait(1000);
        QVERIFY(!instrument.Collect(0));
        QCOMPARE(sdi12d.LinesCompleted(), lines);
        QVERIFY(!dev_opt::IsRaised(cellTable[21].ResultReady));
        QVERIFY(cellTable[21].ValueRead.empty());

        // The port was given back: another program may open it.
        QVERIFY(!sdi12d.HoldsDevice());
        TCommsPort next;
        next.OpenDevice(instrument.Slave(), 115200);
        QVERIFY(next.HoldsDevice());
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestShutdown test;
    return QTest::qExec(&test, argc, argv);
}

#include "shutdown_test.moc"
