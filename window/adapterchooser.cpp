#include "window/adapterchooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TAdapterChooser::TAdapterChooser(QWidget* parent, const std::vector<TAdapterInfo>& adapters,
                                 int preselected)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AdapterChooser"));
    setWindowTitle(QStringLiteral("Choose the adapter"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Several adapters are attached. Which one leads to the instrument?"), this));
    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("AdapterList"));
    for (const TAdapterInfo& adapter : adapters)
        List->addItem(QString::fromStdString(adapter.DisplayName + "  -  " +
                                             TAdapterList::Identity(adapter)));
    List->setCurrentRow(preselected);
    List->setMinimumWidth(460);
    layout->addWidget(List);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Connect"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(List, &QListWidget::itemActivated, this, &QDialog::accept);
}

int TAdapterChooser::Ask(QWidget* parent, const std::vector<TAdapterInfo>& adapters,
                         int preselected)
{
    TAdapterChooser chooser(parent, adapters, preselected);
    return chooser.exec() == QDialog::Accepted ? chooser.Chosen() : -1;
}

int TAdapterChooser::Preselected(const std::vector<TAdapterInfo>& adapters,
                                 const std::string& serial)
{
    for (std::size_t i = 0; i < adapters.size() && !serial.empty(); ++i)
        if (adapters[i].SerialNumber == serial)
            return static_cast<int>(i);
    return static_cast<int>(adapters.size()) - 1;
}

int TAdapterChooser::Chosen() const
{
    return List->currentRow();
}
