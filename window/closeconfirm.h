#pragma once

#include "editing/closequestion.h"

class QWidget;

// The box in which Close asks whether edits the instrument has not confirmed may be dropped.
class TCloseConfirm
{
public:
    static TCloseQuestion::Choice Ask(QWidget* window, const QString& question);
};
