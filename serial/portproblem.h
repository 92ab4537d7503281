#pragma once

#include "serial/commsport.h"

#include <string>

// The words for what went wrong with a port, shared by the window's status bar and the command
// line so that both say the same thing.
class TPortProblem
{
public:
    using Kind = TCommsPort::ErrorKind;

    static constexpr const char* InUseText = "in use by another program";
    static constexpr const char* NotSerialText = "not a serial port";

    // The reason after "NOT OPENED - "; systemText words a failure of no known kind.
    static std::string Reason(Kind kind, const std::string& systemText);
};
