#pragma once

#include "writeback/cellmarks.h"

#include <QTableWidgetItem>

// A data cell of the tables. It carries its mark and takes the mark's colours from the table's
// palette when drawn, so a dark desktop palette gets the dark look; and it tells assistive
// technology where it is and what its state is: its name is "S3 Mid Hz" and its value, its
// description the mark's tooltip.
class TCellItem : public QTableWidgetItem
{
public:
    // Where the mark is kept, as an int.
    static constexpr int MarkRole = Qt::UserRole + 1;

    explicit TCellItem(const QString& text = QString());

    // Any item keeps a mark; only a TCellItem takes its colours.
    static void SetMark(QTableWidgetItem& item, TCellMark mark);
    static TCellMark MarkOf(const QModelIndex& index);

    QVariant data(int role) const override;
    QTableWidgetItem* clone() const override;

private:
    TCellMark Mark() const;
    bool DarkPalette() const;
    QString Place() const;
};
