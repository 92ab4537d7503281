#include "serial/portproblem.h"

std::string TPortProblem::Reason(Kind kind, const std::string& systemText)
{
    switch (kind) {
    case Kind::NotFound:
        return "not found";
    case Kind::AccessDenied:
        return "access denied";
    case Kind::InUse:
        return InUseText;
    case Kind::NotSerial:
        return NotSerialText;
    case Kind::SettingsRefused:
        return "line settings refused";
    case Kind::Lost:
        return "removed";
    case Kind::None:
    case Kind::Other:
        break;
    }
    return systemText;
}
