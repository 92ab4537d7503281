#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

class QAction;
class QKeySequence;
class QTableWidget;
class TWriteBack;

// Copy, paste, undo, redo and "Revert to instrument value" for one table, on its context menu
// and as its keys. Clipboard text becomes edits through TClipboardBlock and TPastePlan, and the
// edits and their history are TWriteBack's; this class only forwards.
class TTableEditor : public QObject
{
    Q_OBJECT

public:
    TTableEditor(QTableWidget* grid, int32_t gridId, TWriteBack& writeBack);

    void Copy();
    // Returns whether anything was pasted; a refused block is explained in a message.
    bool Paste();
    void Undo();
    void Redo();
    void Revert();

    QAction* CopyAction = nullptr;
    QAction* PasteAction = nullptr;
    QAction* UndoAction = nullptr;
    QAction* RedoAction = nullptr;
    QAction* RevertAction = nullptr;

signals:
    // Cells changed by a paste, an undo, a redo or a revert.
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddAction(const QString& text, const QKeySequence& keys, std::function<void()> run);
    bool Editable() const;
    static bool PastesABlock(const QEvent* event);
    void ShowMenu(const QPoint& globalPos);

    QTableWidget* Grid;
    int32_t GridId;
    TWriteBack& WriteBack;
};
