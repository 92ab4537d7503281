#pragma once

#include <QObject>

class QTableWidget;

// Shows a cell's whole text as a tooltip where the column is too narrow for it (the tables
// keep their fixed column widths, and coefficients are often longer than a column). A cell
// with a tooltip of its own, such as a mark's reason, keeps that one.
class TFullTextTip : public QObject
{
    Q_OBJECT

public:
    explicit TFullTextTip(QTableWidget* grid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableWidget* Grid;
};
