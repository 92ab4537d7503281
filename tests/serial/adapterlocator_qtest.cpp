// Which names given with --port are COM ports, opened by number as the adapter's port is.
#include "serial/adapterlocator.h"
#include "tests/serial/fakeftdi.h"

#include <QTest>

class TestAdapterLocator : public QObject
{
    Q_OBJECT

private slots:
    void comPortNumber_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("upper case") << "COM5" << 5;
        QTest::newRow("lower case") << "com12" << 12;
        QTest::newRow("device form") << "COM5:" << 5;
        QTest::newRow("device namespace") << "\\\\.\\COM10" << 10;
        QTest::newRow("highest") << "COM255" << 255;
        QTest::newRow("too high") << "COM256" << 0;
        QTest::newRow("zero") << "COM0" << 0;
        QTest::newRow("leading zero") << "COM05" << 0;
        QTest::newRow("no number") << "COM" << 0;
        QTest::newRow("not a digit") << "COM5a" << 0;
        QTest::newRow("sign") << "COM-1" << 0;
        QTest::newRow("other device") << "/dev/ttyUSB0" << 0;
        QTest::newRow("longer name") << "COMPORT1" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void comPortNumber()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(TAdapterLocator::ComPortNumber(name.toStdString()), number);
    }

    // The mark of --find-adapter says what Connect does, also when the search's last matching
    // device has no COM port and so is not listed.
    void takenIndexIsWhatConnectTakes()
    {
        const FakeFtdiDevice com5{"FT232R USB UART", "A10K3X", 5};
        const FakeFtdiDevice com7{"FT231X Basic UART", "DN04ZQ", 7};
        FakeFtdiDevice noPort{"FT232R USB UART", "B20Q", -1};
        FakeFtdiDevice unopenable = noPort;
        unopenable.OpenFails = true;
        const struct
        {
            const char* Name;
            std::vector<FakeFtdiDevice> Devices;
            int Taken;
        } cases[] = {
            {"one", {com5}, 0},
            {"several: the last, preselected", {com5, com7}, 1},
            {"the last has no COM port", {com5, noPort}, -1},
            {"the last cannot be opened", {com5, unopenable}, 0},
        };
        for (const auto& c : cases) {
            FakeFtdi library;
            library.Devices = c.Devices;
            TAdapterLocator locator;
            locator.UseLibrary(library);
            QVERIFY2(locator.TakenIndex(locator.Adapters()) == c.Taken, c.Name);
        }
    }
};

QTEST_GUILESS_MAIN(TestAdapterLocator)
#include "adapterlocator_qtest.moc"
