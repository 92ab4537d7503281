#pragma once

#include "serial/portfailure.h"
#include "session/exchangeend.h"

#include <cstddef>
#include <string>
#include <vector>

// The status texts after "Device: <name>".
inline constexpr const char* RemovedText = " REMOVED - PLEASE CONNECT AGAIN";
inline constexpr const char* NoAnswerText = " NO ANSWER - CHECK POWER AND CABLE";
inline constexpr const char* NotInstrumentText = " NOT THE INSTRUMENT - IT SENDS DATA BY ITSELF";
inline constexpr const char* OverlongText = " REPLY TOO LONG - CHECK THE INSTRUMENT AND CABLE";
// When the search finds no adapter; its reason goes to the status bar's tooltip.
inline constexpr const char* NotIdentifiedText = "NOT IDENTIFIED - PLEASE TRY AGAIN ";

// The line's words: what the window's status bar says about the port and the exchange, and
// what the command line says before its advice. One text per thing that happened.
class TLineWords
{
public:
    using Kind = TCommsPort::ErrorKind;

    static constexpr const char* InUseText = "in use by another program";
    static constexpr const char* NotSerialText = "not a serial port";

    // The reason after "NOT OPENED - ".
    static std::string Reason(const TPortFailure& failure);
    // The port is open; a device that refused the line settings says so.
    static std::string Opened(const std::string& device, Kind kind);
    static std::string NotOpened(const std::string& device, const TPortFailure& failure);
    static std::string Reconnected(const std::string& device);
    // The instrument answers, but these settings (wire keys) hold values that look wrong.
    static std::string LookWrong(const std::string& device, const std::vector<std::string>& keys);
    static constexpr std::size_t KeysNamed = 4; // more are counted, not named
    // The status line an exchange's ending leaves; empty for one that completed.
    static std::string Ended(const std::string& device, TEndReason why);

    // What the command line adds to those lines: what to do next.
    static std::string NotOpenedAdvice(Kind kind);
    static std::string EndedAdvice(TEndReason why);
};
