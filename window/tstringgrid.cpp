#include "window/tstringgrid.h"

#include <QChildEvent>
#include <QKeyEvent>

TStringGrid::TStringGrid(QWidget* parent) : QTableWidget(parent)
{
    // Cell editors are created as children of the viewport; each one is watched for keys.
    viewport()->installEventFilter(this);
}

bool TStringGrid::ProducesCharacter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return !key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab;
}

bool TStringGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == viewport() && event->type() == QEvent::ChildAdded) {
        // The child may still be under construction: only its QObject part is used here.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child != nullptr && child->isWidgetType())
            child->installEventFilter(this);
    } else if (watched != viewport() && ProducesCharacter(event)) {
        emit characterTyped();
    }
    return QTableWidget::eventFilter(watched, event);
}

void TStringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableWidget::currentChanged(current, previous);
    if (UserInputDepth > 0 && current.isValid() && current != previous)
        emit cellSelected(current.row(), current.column());
}

void TStringGrid::keyPressEvent(QKeyEvent* event)
{
    if (ProducesCharacter(event))
        emit characterTyped();
    UserInput input(UserInputDepth);
    QTableWidget::keyPressEvent(event);
}

void TStringGrid::mousePressEvent(QMouseEvent* event)
{
    UserInput input(UserInputDepth);
    QTableWidget::mousePressEvent(event);
}

void TStringGrid::mouseMoveEvent(QMouseEvent* event)
{
    UserInput input(UserInputDepth);
    QTableWidget::mouseMoveEvent(event);
}

void TStringGrid::focusInEvent(QFocusEvent* event)
{
    // Taking the focus may make the first cell current; that is not the user's choice.
    QTableWidget::focusInEvent(event);
    emit entered();
}

void TStringGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Tab or Backtab in an editor moves on to the neighbouring cell: the user's move.
    UserInput input(UserInputDepth);
    QTableWidget::closeEditor(editor, hint);
}
