#include "cli/outputpath.h"

#include "settingsfile/atomicwrite.h"
#include "settingsfile/showntext.h"

#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::optional<std::string> TOutputPath::Problem(const std::string& file)
{
    if (file == "-")
        return std::nullopt;
    const std::string shown = TShownText::Of(file);
    std::error_code error;
    const fs::file_status status = fs::status(file, error); // follows a symbolic link
    if (fs::is_directory(status))
        return shown + " is a folder; name a file to write the settings to";
    if (fs::exists(status) && !fs::is_regular_file(status))
        return shown + " is not a regular file (a device, FIFO or socket); name a file to write " +
               "the settings to";
    const fs::path target = AtomicWriteTarget(file);
    if (target.filename().string().size() > MaxAtomicWriteName)
        return "the file name is too long (" + std::to_string(target.filename().string().size()) +
               " characters; at most " + std::to_string(MaxAtomicWriteName) + ")";
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (!fs::is_directory(folder, error))
        return "the folder " + TShownText::Of(folder.string()) + " does not exist";
#ifndef _WIN32
    if (access(folder.c_str(), W_OK) != 0)
        return "you may not write to the folder " + TShownText::Of(folder.string());
#endif
    return std::nullopt;
}
