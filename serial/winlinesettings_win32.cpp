#include "serial/winlinesettings.h"

DCB TWinLineSettings::For(int32_t baudRate)
{
    DCB settings;
    ZeroMemory(&settings, sizeof settings);
    settings.DCBlength = sizeof(DCB);
    settings.BaudRate = static_cast<DWORD>(baudRate);
    settings.fBinary = 1;
    settings.ByteSize = 8;
    settings.EvtChar = EventChar;
    return settings;
}
