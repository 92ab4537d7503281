#pragma once

#include <optional>
#include <string>

// Whether the window can open at all. Where Qt needs a display server (not on Windows or
// macOS), it aborts the process when there is none; this says so beforehand.
class TDisplayCheck
{
public:
    // What is missing, as one line for standard error, or nothing when the window can be
    // tried: a display named in the environment, or a platform named for Qt (the
    // environment's QT_QPA_PLATFORM or a -platform option still in argv).
    static std::optional<std::string> Problem(int argc, char** argv);
};
