#include "app/tapplication.h"

#include "app/terminationsignals.h"

#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <exception>

// Resources live in a static library: their registration must be pulled in by a call.
static void InitResources()
{
    Q_INIT_RESOURCE(devconfig);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/devconfig.png")));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        // Not one of ours: shown with an empty message.
        ShowException(QString());
    }
    return false;
}

QString TApplication::TitleFor(const QString& executablePath)
{
    const QString name = QFileInfo(executablePath).completeBaseName();
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString TApplication::Title()
{
    return TitleFor(applicationFilePath());
}

void TApplication::ShowException(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, Title(), message, QMessageBox::Ok);
    box.exec();
}

namespace {

void ReportStartupFailure(bool haveApplication, const char* program, const QString& message)
{
    if (haveApplication) {
        TApplication::ShowException(message);
        return;
    }
    // Without an application object there is no way to show a box.
    std::fprintf(stderr, "%s: %s\n",
                 qPrintable(TApplication::TitleFor(QString::fromLocal8Bit(program))),
                 qPrintable(message));
}

} // namespace

int TApplication::Run(int& argc, char** argv, const WindowFactory& createMainWindow)
{
    TTerminationSignals::Install();
    const char* program = argc > 0 ? argv[0] : "";
    std::unique_ptr<TApplication> application;
    try {
        application = std::make_unique<TApplication>(argc, argv);
        TTerminationSignals signalWatch;
        // Declared after the application, so destroyed first: the window's teardown stops the
        // comms thread while everything it touches still exists.
        const std::unique_ptr<QWidget> window = createMainWindow();
        window->show();
        exec();
    } catch (const std::exception& e) {
        ReportStartupFailure(application != nullptr, program, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportStartupFailure(application != nullptr, program, QString());
    }
    return ExitCode;
}
