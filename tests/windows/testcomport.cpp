#include "testcomport.h"

#include <cstdlib>

namespace {

int32_t PortFrom(const char* variable)
{
    const char* text = std::getenv(variable);
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const long number = std::strtol(text, &end, 10);
    if (*end != '\0' || number < 1 || number > 255)
        return 0;
    return static_cast<int32_t>(number);
}

} // namespace

int32_t TestComPort()
{
    return PortFrom("DEVCONFIG_TEST_COM");
}

int32_t NonTerminalComPort()
{
    return PortFrom("DEVCONFIG_TEST_COM_NOT_TTY");
}

int32_t WindowComPort()
{
    return PortFrom("DEVCONFIG_TEST_COM_WINDOW");
}

int32_t AdapterComPort()
{
    return PortFrom("DEVCONFIG_TEST_COM_ADAPTER");
}
