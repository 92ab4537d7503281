// Which names given with --port are COM ports, opened by number as the adapter's port is.
#include "serial/adapterlocator.h"

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
};

QTEST_GUILESS_MAIN(TestAdapterLocator)
#include "adapterlocator_qtest.moc"
