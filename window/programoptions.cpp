#include "window/programoptions.h"

#include <cstring>

namespace {

bool Matches(const char* arg, const char* name)
{
    return std::strcmp(arg, name) == 0;
}

// "--port=DEV" form; returns the value or nullptr.
const char* InlineValue(const char* arg, const char* name)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) == 0 && arg[n] == '=')
        return arg + n + 1;
    return nullptr;
}

} // namespace

TProgramOptions TProgramOptions::Parse(int& argc, char** argv)
{
    TProgramOptions options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (Matches(arg, "--simulate")) {
            options.Simulate = true;
        } else if (Matches(arg, "--find-adapter")) {
            options.FindAdapter = true;
        } else if (Matches(arg, "--help") || Matches(arg, "-h")) {
            options.Help = true;
        } else if (Matches(arg, "--port")) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                options.Error = "--port needs a device, for example --port /dev/ttyUSB0";
                continue;
            }
            options.Port = argv[++i];
        } else if (const char* value = InlineValue(arg, "--port")) {
            options.Port = value;
            if (options.Port.empty())
                options.Error = "--port needs a device, for example --port=/dev/ttyUSB0";
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    if (options.Simulate && !options.Port.empty())
        options.Error = "--port and --simulate exclude each other";
    return options;
}

std::string TProgramOptions::Usage(const std::string& program)
{
    return "Usage: " + program +
           " [--port DEVICE | --simulate] [--find-adapter] [--help]\n"
           "\n"
           "Configures the instrument attached through an FTDI USB-serial adapter.\n"
           "\n"
           "  --port DEVICE   Connect opens DEVICE (for example /dev/ttyUSB0 or COM5)\n"
           "                  instead of searching for the adapter.\n"
           "  --simulate      Start the built-in simulated instrument; Connect finds it\n"
           "                  as the adapter. For trying the program without hardware.\n"
           "  --find-adapter  Print what the adapter search finds and exit.\n"
           "  --help          Print this text and exit.\n";
}
