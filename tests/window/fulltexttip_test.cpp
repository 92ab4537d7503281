// The whole text of a cell too narrow for it shows as a tooltip; a cell's own tooltip wins.
#include "window/fulltexttip.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTableWidget>
#include <QTest>
#include <QToolTip>

class TestFullTextTip : public QObject
{
    Q_OBJECT

private:
    QTableWidget* Grid = nullptr;

    // Asks for the tooltip of cell (row, column) as the mouse resting there would.
    QString TipAt(int row, int column)
    {
        QToolTip::hideText();
        const QRect rect = Grid->visualItemRect(Grid->item(row, column));
        QHelpEvent help(QEvent::ToolTip, rect.center(),
                        Grid->viewport()->mapToGlobal(rect.center()));
        QApplication::sendEvent(Grid->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

private slots:
    void init()
    {
        Grid = new QTableWidget(2, 2);
        Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        Grid->horizontalHeader()->resizeSection(0, 64);
        Grid->horizontalHeader()->resizeSection(1, 64);
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column)
                Grid->setItem(row, column, new QTableWidgetItem);
        new TFullTextTip(Grid);
        Grid->resize(300, 200);
        Grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(Grid));
    }

    void cleanup()
    {
        QToolTip::hideText();
        delete Grid;
    }

    void longTextShowsWhole()
    {
        const QString value = "-1.234567890E-03 (a long coefficient)";
        Grid->item(0, 0)->setText(value);
        QCOMPARE(TipAt(0, 0), value);
    }

    void shortTextShowsNothing()
    {
        Grid->item(0, 1)->setText("0");
        QCOMPARE(TipAt(0, 1), QString());
    }

    void ownTooltipWins()
    {
        Grid->item(1, 0)->setText("a text far too long for sixty-four pixels");
        Grid->item(1, 0)->setToolTip("Not yet confirmed by the instrument");
        QCOMPARE(TipAt(1, 0), QString("Not yet confirmed by the instrument"));
    }
};

QTEST_MAIN(TestFullTextTip)
#include "fulltexttip_test.moc"
