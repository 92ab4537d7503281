#pragma once

#include <QObject>

class QKeyEvent;
class QTableWidget;

// The keys a table needs besides Qt's own, for work without a mouse: Enter opens the current
// cell's editor as F2 does, and the Menu key or Shift+F10 opens the context menu at the current
// cell. Esc in an open editor drops the edit, as Qt's editors do.
class TGridKeys : public QObject
{
    Q_OBJECT

public:
    explicit TGridKeys(QTableWidget* grid);

    static bool OpensMenu(const QKeyEvent& key);
    static bool OpensEditor(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowMenu();

    QTableWidget* Grid;
};
