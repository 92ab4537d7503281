#pragma once

#include "cli/exitstatus.h"

#include <QApplication>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

// The application object: its event delivery shows any exception that escapes an event
// handler in an error box and carries on, and Run is the whole life of the program.
class TApplication : public QApplication
{
public:
    using WindowFactory = std::function<std::unique_ptr<QWidget>()>;

    // The process's exit code after every normal end.
    static constexpr int ExitCode = ExitStatus::WindowClosed;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Creates the application and the main window, runs the event loop until the window is
    // closed and returns ExitCode. A failure on the way is shown in one error box; the program
    // then ends the normal way.
    static int Run(int& argc, char** argv, const WindowFactory& createMainWindow);

    // The error box's caption: the executable's name without folder and extension, only its
    // first letter in upper case.
    static QString TitleFor(const QString& executablePath);
    static QString Title();

    // The standard error box: the message, an error icon and one OK button. Returns when the
    // user has dismissed it.
    static void ShowException(const QString& message);
};
