#include "cli/batchfilenames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool WindowsDeviceName(const std::string& name)
{
    static const std::array<const char*, 4> plain = {"con", "prn", "aux", "nul"};
    const std::string lower = Lower(name);
    if (std::find(plain.begin(), plain.end(), lower) != plain.end())
        return true;
    return lower.size() == 4 && (lower.rfind("com", 0) == 0 || lower.rfind("lpt", 0) == 0) &&
           lower[3] >= '1' && lower[3] <= '9';
}

// Only what is safe in a file name on every system.
std::string Safe(const std::string& text)
{
    std::string name;
    for (const char c : text) {
        const bool kept = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        name += kept && static_cast<unsigned char>(c) < 0x80 ? c : '_';
    }
    if (name.empty())
        name = "_";
    return WindowsDeviceName(name) ? name + "_" : name;
}

// The port's own name: "ttyUSB0" of /dev/ttyUSB0, "COM5".
std::string PortName(const TAdapterInfo& adapter)
{
    const std::string& port = adapter.PortOption;
    return Safe(port.substr(port.find_last_of("/\\") + 1));
}

std::string BaseName(const TAdapterInfo& adapter)
{
    return adapter.SerialNumber.empty() ? PortName(adapter) : Safe(adapter.SerialNumber);
}

} // namespace

std::vector<std::string> TBatchFileNames::For(const std::vector<TAdapterInfo>& adapters,
                                              const std::string& folder,
                                              const std::string& extension)
{
    std::map<std::string, int> uses;
    for (const TAdapterInfo& adapter : adapters)
        ++uses[Lower(BaseName(adapter))];
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const TAdapterInfo& adapter : adapters) {
        std::string name = BaseName(adapter);
        if (uses[Lower(name)] > 1 && !adapter.SerialNumber.empty())
            name += "_" + PortName(adapter);
        // Still taken (a serial number that looks like another's name): numbered.
        const std::string first = name;
        for (int n = 2; taken.count(Lower(name)) != 0; ++n)
            name = first + "_" + std::to_string(n);
        taken.insert(Lower(name));
        names.push_back((std::filesystem::path(folder) / (name + extension)).string());
    }
    return names;
}
