#pragma once

#include "serial/commsport.h"

#include <string>

// What went wrong with a port, as one value: its kind, and the system's text for it (else the
// port's own diagnostic, "File Error 5"). Made in one place, so that every face words the same
// failure from the same facts.
struct TPortFailure
{
    TCommsPort::ErrorKind Kind = TCommsPort::ErrorKind::None;
    std::string Text;

    static TPortFailure Of(const TCommsPort& port);
};
