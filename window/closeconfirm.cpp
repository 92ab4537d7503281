#include "window/closeconfirm.h"

#include <QMessageBox>
#include <QPushButton>

TCloseQuestion::Choice TCloseConfirm::Ask(QWidget* window, const QString& question)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Close"), question, QMessageBox::NoButton,
                    window);
    QPushButton* save = box.addButton(QStringLiteral("Save first"), QMessageBox::AcceptRole);
    QPushButton* close = box.addButton(QStringLiteral("Close"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    // Enter keeps the edits.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return TCloseQuestion::Choice::SaveFirst;
    if (box.clickedButton() == close)
        return TCloseQuestion::Choice::Close;
    return TCloseQuestion::Choice::Cancel;
}
