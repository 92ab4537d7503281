#pragma once

#include <cstdint>
#include <string>

class TFtdiLibrary;

// The device library of this platform: FTD2XX.DLL on Windows (loaded on first use, so the
// program also starts without it), sysfs elsewhere.
TFtdiLibrary& SystemFtdiLibrary();

// The COM port number of the last listed FTDI device whose description contains searchText
// (exact bytes, case-sensitive), or -1 when none does. An empty searchText matches nothing.
// Numbers below 1 mean that no usable adapter was found. GUI thread only; not re-entrant.
int32_t FindAdapterPort(const std::string& searchText);
int32_t FindAdapterPort(TFtdiLibrary& library, const std::string& searchText);
