#include "report/report.h"

const char* TReport::WordOf(TReportState state)
{
    switch (state) {
    case TReportState::Read:
        return "read";
    case TReportState::Confirmed:
        return "confirmed";
    case TReportState::NotConfirmed:
        return "not confirmed";
    case TReportState::NotTaken:
        return "not taken";
    case TReportState::NoAnswer:
        return "no answer";
    case TReportState::NeverSent:
        return "never sent";
    case TReportState::Overlong:
        return "reply too long";
    case TReportState::LooksWrong:
        return "looks wrong";
    }
    return "unknown";
}

std::string TReport::ProgramVersion()
{
    return DEVCONFIG_VERSION;
}
