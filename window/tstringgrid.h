#pragma once

#include <QTableWidget>

// The sensor table: a QTableWidget that tells user-driven cell selection apart from selection
// changes made by code, and reports every key that produces a character, whether the table
// or an open cell editor receives it.
class TStringGrid : public QTableWidget
{
    Q_OBJECT

public:
    explicit TStringGrid(QWidget* parent = nullptr);

signals:
    // The user moved to another cell, by mouse or keyboard.
    void cellSelected(int row, int column);
    // A key producing a character was pressed in the table or in a cell editor.
    void characterTyped();
    // The table took the input focus.
    void entered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // Counts nested user input handlers; a current-cell change inside one is the user's.
    class UserInput
    {
    public:
        explicit UserInput(int& depth) : Depth(depth) { ++Depth; }
        ~UserInput() { --Depth; }
        UserInput(const UserInput&) = delete;
        UserInput& operator=(const UserInput&) = delete;

    private:
        int& Depth;
    };

    static bool ProducesCharacter(const QEvent* event);

    int UserInputDepth = 0;
};
