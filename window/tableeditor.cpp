#include "window/tableeditor.h"

#include "editing/clipboardblock.h"
#include "editing/pasteplan.h"
#include "writeback/writeback.h"

#include <QAction>
#include <QApplication>
#include <QChildEvent>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>

namespace {

const char* const PasteTitle = "Paste";

std::vector<std::pair<int, int>> SelectedCells(const QTableWidget* grid)
{
    std::vector<std::pair<int, int>> cells;
    for (const QModelIndex& index : grid->selectionModel()->selectedIndexes())
        cells.emplace_back(index.column() + 1, index.row() + 1);
    return cells;
}

} // namespace

TTableEditor::TTableEditor(QTableWidget* grid, int32_t gridId, TWriteBack& writeBack)
    : QObject(grid), Grid(grid), GridId(gridId), WriteBack(writeBack)
{
    CopyAction = AddAction(QStringLiteral("Copy"), QKeySequence::Copy, [this] { Copy(); });
    PasteAction = AddAction(QStringLiteral("Paste"), QKeySequence::Paste, [this] { Paste(); });
    UndoAction = AddAction(QStringLiteral("Undo"), QKeySequence::Undo, [this] { Undo(); });
    RedoAction =
        AddAction(QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { Redo(); });
    // Ctrl+Y on every platform, besides the platform's own redo keys.
    QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
    if (!redoKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)))
        redoKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_Y));
    RedoAction->setShortcuts(redoKeys);
    RevertAction = AddAction(QStringLiteral("Revert to instrument value"), QKeySequence(),
                             [this] { Revert(); });
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    grid->addAction(separator);
    // The context menu event reaches the viewport first.
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
}

QAction* TTableEditor::AddAction(const QString& text, const QKeySequence& keys,
                                 std::function<void()> run)
{
    auto* action = new QAction(text, this);
    action->setShortcut(keys);
    // Only while the table itself has the focus: an open cell editor keeps its own keys.
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, std::move(run));
    Grid->addAction(action);
    return action;
}

bool TTableEditor::Editable() const
{
    return Grid->isEnabled() && Grid->editTriggers() != QAbstractItemView::NoEditTriggers;
}

void TTableEditor::Copy()
{
    std::vector<TClipboardBlock::Cell> cells;
    for (const QModelIndex& index : Grid->selectionModel()->selectedIndexes())
        cells.push_back({index.column() + 1, index.row() + 1, index.data().toString()});
    if (cells.empty() && Grid->currentIndex().isValid()) {
        const QModelIndex current = Grid->currentIndex();
        cells.push_back({current.column() + 1, current.row() + 1, current.data().toString()});
    }
    if (!cells.empty())
        QApplication::clipboard()->setText(
            TClipboardBlock::Text(TClipboardBlock::FromCells(cells)));
}

bool TTableEditor::Paste()
{
    if (!Editable())
        return false;
    const QModelIndex current = Grid->currentIndex();
    TPastePlan::Target target;
    target.Col = current.isValid() ? current.column() + 1 : 0;
    target.Row = current.isValid() ? current.row() + 1 : 0;
    target.Selected = SelectedCells(Grid);
    target.Columns = Grid->columnCount();
    target.Rows = Grid->rowCount();
    target.Connected = WriteBack.Connected();
    const TPastePlan plan =
        TPastePlan::Make(TClipboardBlock::Parse(QApplication::clipboard()->text()), target);
    if (plan.Refusal) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(PasteTitle), *plan.Refusal,
                        QMessageBox::Ok, Grid->window());
        box.exec();
        Grid->setFocus();
        return false;
    }
    WriteBack.UserEdits(GridId, plan.Edits);
    emit edited();
    return true;
}

void TTableEditor::Undo()
{
    if (!Editable() || !WriteBack.CanUndo())
        return;
    WriteBack.Undo();
    emit edited();
}

void TTableEditor::Redo()
{
    if (!Editable() || !WriteBack.CanRedo())
        return;
    WriteBack.Redo();
    emit edited();
}

void TTableEditor::Revert()
{
    if (!Editable())
        return;
    WriteBack.RevertToInstrument(GridId, SelectedCells(Grid));
    emit edited();
}

bool TTableEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu) {
        ShowMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    // The event's type is looked at before the grid: while the grid is being destroyed, its
    // children's removal still comes here, and the grid is then no longer a table.
    if (event->type() == QEvent::ChildAdded && watched == Grid->viewport()) {
        // Cell editors are children of the viewport; each one is watched for Ctrl+V.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child != nullptr && child->isWidgetType())
            child->installEventFilter(this);
    } else if (PastesABlock(event) && watched != Grid && watched != Grid->viewport()) {
        // A block pasted into an open cell would land whole in that one cell, tabs and all:
        // the editor is left unchanged and the block pasted from its cell instead.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(watched, &escape);
        Grid->setFocus();
        Paste();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool TTableEditor::PastesABlock(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress ||
        !static_cast<const QKeyEvent*>(event)->matches(QKeySequence::Paste))
        return false;
    const TClipboardBlock::Rows block = TClipboardBlock::Parse(QApplication::clipboard()->text());
    return block.size() > 1 || (block.size() == 1 && block.front().size() > 1);
}

// The entries that would do nothing now are greyed out while the menu shows; the keys stay
// live, since each checks for itself.
void TTableEditor::ShowMenu(const QPoint& globalPos)
{
    const bool editable = Editable();
    PasteAction->setEnabled(editable && !QApplication::clipboard()->text().isEmpty());
    UndoAction->setEnabled(editable && WriteBack.CanUndo());
    RedoAction->setEnabled(editable && WriteBack.CanRedo());
    RevertAction->setEnabled(editable && !SelectedCells(Grid).empty());
    QMenu::exec(Grid->actions(), globalPos, nullptr, Grid);
    for (QAction* action : {PasteAction, UndoAction, RedoAction, RevertAction})
        action->setEnabled(true);
}
