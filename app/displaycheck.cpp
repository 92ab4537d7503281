#include "app/displaycheck.h"

#include <cstdlib>
#include <cstring>

namespace {

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

bool PlatformNamed(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strcmp(name, "-platform") == 0 || std::strncmp(name, "-platform=", 10) == 0)
            return true;
    }
    return false;
}

} // namespace

std::optional<std::string> TDisplayCheck::Problem(int argc, char** argv)
{
#if defined(_WIN32) || defined(__APPLE__)
    (void)argc;
    (void)argv;
    return std::nullopt;
#else
    if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM") ||
        PlatformNamed(argc, argv))
        return std::nullopt;
    return "no display: none of DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set, so the "
           "window cannot open (--simulate needs a display too). Start it in a graphical "
           "session, or use --read, --write or --compare, which need none.";
#endif
}
