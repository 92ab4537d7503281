#pragma once
// Notes what the next message box shows and dismisses it, for tests of the window's boxes.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// What a message box showed; it is dismissed with its OK button.
struct BoxSeen
{
    int Count = 0;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::Question; // no box of this program has it
    qsizetype Buttons = 0;
    bool OkOnly = false;
};

inline void CloseBoxLater(BoxSeen& seen)
{
    QTimer::singleShot(100, [&seen] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible())
                continue;
            ++seen.Count;
            seen.Title = box->windowTitle();
            seen.Text = box->text();
            seen.Icon = box->icon();
            seen.Buttons = box->buttons().size();
            seen.OkOnly = box->standardButtons() == QMessageBox::Ok;
            box->button(QMessageBox::Ok)->click();
        }
    });
}
