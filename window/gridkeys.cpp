#include "window/gridkeys.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTableWidget>

TGridKeys::TGridKeys(QTableWidget* grid) : QObject(grid), Grid(grid)
{
    grid->installEventFilter(this);
}

bool TGridKeys::OpensMenu(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Menu ||
           (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier);
}

bool TGridKeys::OpensEditor(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

bool TGridKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Grid || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (OpensMenu(*key)) {
        ShowMenu();
        return true;
    }
    // An open editor passes Enter on to the table after it has queued its own commit.
    const QModelIndex current = Grid->currentIndex();
    if (OpensEditor(*key) && Grid->hasFocus() && current.isValid() &&
        (Grid->model()->flags(current) & Qt::ItemIsEditable)) {
        Grid->edit(current);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// The menu opens below the current cell, as the table's own context menu handler expects it
// from the viewport.
void TGridKeys::ShowMenu()
{
    const QModelIndex current = Grid->currentIndex();
    const QPoint at = current.isValid() ? Grid->visualRect(current).bottomLeft() : QPoint(0, 0);
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, Grid->viewport()->mapToGlobal(at));
    QApplication::sendEvent(Grid->viewport(), &menu);
}
