#include "session/linewords.h"

std::string TLineWords::Reason(const TPortFailure& failure)
{
    switch (failure.Kind) {
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
    return failure.Text;
}

std::string TLineWords::Opened(const std::string& device, Kind kind)
{
    if (kind == Kind::SettingsRefused)
        return "Device: " + device + " OK - line settings refused, its old speed kept";
    return "Device: " + device + " OK";
}

std::string TLineWords::NotOpened(const std::string& device, const TPortFailure& failure)
{
    return "Device: " + device + " NOT OPENED - " + Reason(failure);
}

std::string TLineWords::Reconnected(const std::string& device)
{
    return "Device: " + device + " OK - reconnected";
}

std::string TLineWords::LookWrong(const std::string& device, const std::vector<std::string>& keys)
{
    std::string named;
    for (std::size_t i = 0; i < keys.size() && i < KeysNamed; ++i)
        named += (i == 0 ? "" : ", ") + keys[i];
    if (keys.size() > KeysNamed)
        named += " and " + std::to_string(keys.size() - KeysNamed) + " more";
    return "Device: " + device + " OK - " +
           (keys.size() == 1 ? std::string("1 setting looks wrong: ")
                             : std::to_string(keys.size()) + " settings look wrong: ") +
           named + " (marked; type a number and Save)";
}

std::string TLineWords::Ended(const std::string& device, TEndReason why)
{
    switch (why) {
    case TEndReason::Unplugged:
        return "Device: " + device + RemovedText;
    case TEndReason::NotInstrument:
        return "Device: " + device + NotInstrumentText;
    case TEndReason::Overlong:
        return "Device: " + device + OverlongText;
    case TEndReason::Stopped:
    case TEndReason::NoAnswer:
        return "Device: " + device + NoAnswerText;
    case TEndReason::Completed:
    case TEndReason::Interrupted:
        break;
    }
    return {};
}

std::string TLineWords::NotOpenedAdvice(Kind kind)
{
    if (kind == Kind::NotSerial)
        return "Check the order of the arguments: --port names the serial device, such as "
               "/dev/ttyUSB0.";
    return "Check the device name and that no other program uses it; on Linux you must be in "
           "the dialout group.";
}

std::string TLineWords::EndedAdvice(TEndReason why)
{
    switch (why) {
    case TEndReason::Unplugged:
        return "The adapter was unplugged. Plug it in again and run again.";
    case TEndReason::NotInstrument:
        return "No settings file was written and nothing was written to it. Check that the "
               "instrument's adapter is the one opened (--find-adapter lists them; choose with "
               "--port).";
    case TEndReason::Overlong:
    case TEndReason::Stopped:
    case TEndReason::NoAnswer:
        return "The run stopped there. Check the instrument's power and cable.";
    case TEndReason::Completed:
    case TEndReason::Interrupted:
        break;
    }
    return {};
}
