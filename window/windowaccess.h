#pragma once

#include "writeback/announcement.h"

#include <QObject>

class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QWidget;
class TWriteBack;

// What the main window tells assistive technology and offers the keyboard, kept out of the
// form's own logic: accessible names of the tables, pages and status bar, the buttons' keys in
// their tooltips, the legend of the cell marks, the tables' extra keys, and announcements of
// the status, of the end of a read or a save, and of the count of settings not confirmed.
class TWindowAccess : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* SensorsName = "Sensors table";
    static constexpr const char* ThermistorsName = "Thermistors table";

    TWindowAccess(QWidget* window, const TWriteBack& writeBack);

    // Looks at the window's state after each tick and announces what changed.
    void Update();

    // The last announcement made, for the record and for tests.
    const QString& LastAnnouncement() const { return Last; }

private:
    void NameWidgets();
    void ExplainButtons();
    void HideHiddenTabs();
    void Announce(const QString& text);

    QWidget* Window;
    const TWriteBack& WriteBack;
    QStatusBar* StatusBar = nullptr;
    QLabel* Count = nullptr;
    TAnnouncement Announcements;
    QString Last;
};
