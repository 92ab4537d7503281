#pragma once

#include <optional>
#include <string>

// Where --read may put its file, checked before anything is sent: standard output ("-"), a
// regular file or a new one in a folder that exists and may be written to. A device, FIFO,
// socket or folder is refused, and so is a name too long for the temporary file beside it.
class TOutputPath
{
public:
    // Why the settings cannot be written to `file`, for the user; nothing when they can.
    static std::optional<std::string> Problem(const std::string& file);
};
