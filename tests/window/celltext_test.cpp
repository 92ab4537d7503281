// Long values in the tables' real fonts and column widths, on whichever platform the test runs:
// values of up to ten characters stay whole, also beside a mark's sign, and longer ones keep
// their start and whole exponent.
#include "app/tapplication.h"
#include "window/celltextdelegate.h"
#include "window/mainform.h"
#include "window/markpaint.h"

#include <QFontMetrics>
#include <QTableWidget>
#include <QTest>

class TestCellText : public QObject
{
    Q_OBJECT

private slots:
    void longValuesKeepStartAndExponent_data()
    {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("marked");
        QTest::newRow("sensor A, ten") << "SensorSG" << 3 << "1.2500E-03"
                                       << "1.2500E-03"
                                       << "" << false;
        QTest::newRow("sensor B, ten") << "SensorSG" << 4 << "-1.250E-03"
                                       << "-1.250E-03"
                                       << "" << false;
        QTest::newRow("sensor C, pi") << "SensorSG" << 5 << "3.14159265E+02"
                                      << "3.141"
                                      << "E+02" << false;
        QTest::newRow("sensor D, 14") << "SensorSG" << 6 << "-1.2345678E-03"
                                      << "-1.2"
                                      << "E-03" << false;
        QTest::newRow("thermistor A") << "ThermistorSG" << 3 << "1.1292000e-03"
                                      << "1.12"
                                      << "e-03" << false;
        QTest::newRow("thermistor D") << "ThermistorSG" << 6 << "-8.7654321e-08"
                                      << "-8.7"
                                      << "e-08" << false;
        QTest::newRow("thermistor R0, ten") << "ThermistorSG" << 2 << "10000.0000"
                                            << "10000.0000"
                                            << "" << false;
        // The sign sits in the cell's bottom right corner, where a value's last digit would be.
        QTest::newRow("sensor A, eleven, marked") << "SensorSG" << 3 << "-7.5000E+00"
                                                  << "-7.5000E+00"
                                                  << "" << true;
        QTest::newRow("sensor B, ten, marked") << "SensorSG" << 4 << "1.0300E+00"
                                               << "1.0300E+00"
                                               << "" << true;
        QTest::newRow("sensor D, ten, marked") << "SensorSG" << 6 << "-1.250E-03"
                                               << "-1.250E-03"
                                               << "" << true;
        QTest::newRow("thermistor R0, ten, marked") << "ThermistorSG" << 2 << "10000.0000"
                                                    << "10000.0000"
                                                    << "" << true;
    }

    void longValuesKeepStartAndExponent()
    {
        QFETCH(QString, grid);
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, marked);
        TMainWindow window;
        const auto* table = window.findChild<QTableWidget*>(grid);
        QVERIFY(table != nullptr);
        const auto* delegate = qobject_cast<TCellTextDelegate*>(table->itemDelegate());
        QVERIFY(delegate != nullptr);
        // A cell's rect leaves out the grid line.
        const int cellWidth = table->columnWidth(column) - 1;
        QFont drawnIn;
        const TCellTextFit::Result fit =
            delegate->Fit(value, table->font(), cellWidth, marked, &drawnIn);
        const int signRoom = marked ? TMarkPaint::SignRoom : 0;

        QVERIFY2(fit.Text.startsWith(start) && fit.Text.endsWith(end), qPrintable(fit.Text));
        QCOMPARE(fit.Whole, fit.Text == value);
        if (value.size() <= 10)
            QVERIFY2(fit.Whole, qPrintable(fit.Text));
        QVERIFY2(QFontMetrics(drawnIn).horizontalAdvance(fit.Text) <= cellWidth - 4 - signRoom,
                 qPrintable(fit.Text));
        QVERIFY(QFontInfo(drawnIn).pixelSize() >= TCellTextDelegate::SmallestPixelSize);
    }
};

int main(int argc, char* argv[])
{
    TApplication application(argc, argv);
    TestCellText test;
    return QTest::qExec(&test, argc, argv);
}

#include "celltext_test.moc"
