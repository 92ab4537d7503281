#pragma once

#include "serial/commsport.h"
#include "serial/portproblem.h"

#include <QString>
#include <QStringList>

inline constexpr const char* RemovedText = " REMOVED - PLEASE CONNECT AGAIN";
inline constexpr const char* NoAnswerText = " NO ANSWER - CHECK POWER AND CABLE";
inline constexpr const char* NotInstrumentText = " NOT THE INSTRUMENT - IT SENDS DATA BY ITSELF";

// The status bar's words for the port, chosen by the kind of what happened to it.
class TPortStatus
{
public:
    using Kind = TCommsPort::ErrorKind;

    // The port is open; a device that refused the line settings says so.
    static QString Opened(const QString& device, Kind kind);
    // The open failed; systemText words a failure of no known kind.
    static QString NotOpened(const QString& device, Kind kind, const std::string& systemText);
    static QString Removed(const QString& device);
    static QString Reconnected(const QString& device);
    static QString NoAnswer(const QString& device);
    static QString NotInstrument(const QString& device);
    // The instrument answers, but these settings (wire keys) hold values that look wrong.
    static QString LookWrong(const QString& device, const QStringList& keys);

    static constexpr int KeysNamed = 4; // more are counted, not named
};
