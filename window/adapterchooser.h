#pragma once

#include "serial/adapterlist.h"

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

// Asks which adapter Connect opens when the search finds more than one: each with its port
// (or device), product and serial number. Enter connects, Esc cancels.
class TAdapterChooser : public QDialog
{
    Q_OBJECT

public:
    TAdapterChooser(QWidget* parent, const std::vector<TAdapterInfo>& adapters, int preselected);

    // The adapter chosen, or -1 when the user cancelled.
    static int Ask(QWidget* parent, const std::vector<TAdapterInfo>& adapters, int preselected);
    // The adapter selected at first: the one of this serial number if it is there (the
    // adapter of the last Connect), else the one the search would take, the last.
    static int Preselected(const std::vector<TAdapterInfo>& adapters, const std::string& serial);

    int Chosen() const;

private:
    QListWidget* List = nullptr;
};
