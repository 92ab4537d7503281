#include "settingsfile/atomicwrite.h"

#include <windows.h>

#include <cstdio>

std::string AtomicWriteTarget(const std::string& path)
{
    return path;
}

std::optional<std::string> WriteFileAtomically(const std::string& path, const std::string& content)
{
    const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return "cannot create " + temporary;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() &&
                         std::fflush(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        return "cannot write " + temporary;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        std::remove(temporary.c_str());
        return "cannot replace " + path + " (error " + std::to_string(GetLastError()) + ")";
    }
    return std::nullopt;
}
