#include "writeback/portstatus.h"

QString TPortStatus::Opened(const QString& device, Kind kind)
{
    if (kind == Kind::SettingsRefused)
        return "Device: " + device + " OK - line settings refused, its old speed kept";
    return "Device: " + device + " OK";
}

QString TPortStatus::NotOpened(const QString& device, Kind kind, const std::string& systemText)
{
    return "Device: " + device + " NOT OPENED - " +
           QString::fromStdString(TPortProblem::Reason(kind, systemText));
}

QString TPortStatus::Removed(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(RemovedText);
}

QString TPortStatus::Reconnected(const QString& device)
{
    return "Device: " + device + " OK - reconnected";
}

QString TPortStatus::NoAnswer(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(NoAnswerText);
}

QString TPortStatus::NotInstrument(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(NotInstrumentText);
}
