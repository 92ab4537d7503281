#include "window/windowaccess.h"
#include "window/gridkeys.h"

#include "writeback/marklook.h"
#include "writeback/writeback.h"

#include <QAccessible>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

namespace {

struct TButtonHelp
{
    const char* Name;
    const char* Tip;
};

// The keys themselves are the buttons' mnemonics, set in the form.
constexpr TButtonHelp Buttons[] = {
    {"ConnectBtn", "Finds the adapter and reads every setting from the instrument"},
    {"SaveBtn", "Writes your changes to the instrument and reads them back"},
    {"CancelBtn", "Closes the program; asks first while changes are not confirmed"},
    {"HelpBtn", "Opens the user manual"},
};

} // namespace

TWindowAccess::TWindowAccess(QWidget* window, const TWriteBack& writeBack)
    : QObject(window), Window(window), WriteBack(writeBack)
{
    StatusBar = window->findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    Count = window->findChild<QLabel*>(QStringLiteral("ReadProgress"));
    NameWidgets();
    ExplainButtons();
    HideHiddenTabs();
    for (const char* name : {"SensorSG", "ThermistorSG"})
        if (auto* grid = window->findChild<QTableWidget*>(QString::fromLatin1(name)))
            new TGridKeys(grid);
    if (StatusBar != nullptr)
        connect(StatusBar, &QStatusBar::messageChanged, this, &TWindowAccess::Update);
    Update();
}

void TWindowAccess::NameWidgets()
{
    const std::pair<const char*, const char*> names[] = {
        {"SensorSG", SensorsName},    {"ThermistorSG", ThermistorsName}, {"TabSheet1", "Sensors"},
        {"TabSheet2", "Thermistors"}, {"PageControl1", "Tables"},
    };
    for (const auto& [object, name] : names)
        if (auto* widget = Window->findChild<QWidget*>(QString::fromLatin1(object)))
            widget->setAccessibleName(QString::fromLatin1(name));
    if (Count != nullptr) {
        Count->setToolTip(TMarkLook::Legend());
        Count->setAccessibleDescription(TMarkLook::Legend());
    }
}

// Each button's tooltip says what it does and names its key, which assistive technology
// reports as the button's key binding.
void TWindowAccess::ExplainButtons()
{
    for (const TButtonHelp& help : Buttons) {
        auto* button = Window->findChild<QPushButton*>(QString::fromLatin1(help.Name));
        if (button == nullptr)
            continue;
        QString tip = QString::fromLatin1(help.Tip);
        const QString keys = button->shortcut().toString(QKeySequence::NativeText);
        if (!keys.isEmpty())
            tip += QStringLiteral(" (%1)").arg(keys);
        button->setToolTip(tip);
        button->setAccessibleDescription(tip);
    }
}

// A tab hidden from sight leaves the tab bar, so that assistive technology, which is told of
// every tab of the bar, does not offer a page nobody sees. Its page stays, hidden.
void TWindowAccess::HideHiddenTabs()
{
    for (QTabWidget* tabs : Window->findChildren<QTabWidget*>())
        for (int index = tabs->count() - 1; index >= 0; --index)
            if (!tabs->isTabVisible(index)) {
                QWidget* page = tabs->widget(index);
                tabs->removeTab(index);
                page->hide();
            }
}

void TWindowAccess::Update()
{
    if (StatusBar == nullptr || Count == nullptr)
        return;
    TAnnouncement::State state;
    state.Status = StatusBar->currentMessage();
    state.Saving = WriteBack.CycleState != TCycleState::Idle;
    state.Reading = WriteBack.ExchangeOpen() && !state.Saving;
    if (!state.Reading && Count->isVisibleTo(StatusBar))
        state.Count = Count->text();
    const QString name = TAnnouncement::StatusName(state);
    if (StatusBar->accessibleName() != name)
        StatusBar->setAccessibleName(name); // tells assistive technology of the change
    const QString words = Announcements.Next(state);
    if (!words.isEmpty())
        Announce(words);
}

void TWindowAccess::Announce(const QString& text)
{
    Last = text;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(StatusBar, text);
    QAccessible::updateAccessibility(&event);
#endif
}
