#pragma once

#include <cstdint>

// COM port numbers that the test run has mapped in the Wine prefix, taken from environment
// variables; 0 when the run provides none, and the tests that need the port skip.

// The port that leads to the simulated instrument (DEVCONFIG_TEST_COM).
int32_t TestComPort();
// A port whose device is no terminal, so the line settings are refused
// (DEVCONFIG_TEST_COM_NOT_TTY).
int32_t NonTerminalComPort();
// The port that leads to the instrument of the window tests (DEVCONFIG_TEST_COM_WINDOW).
int32_t WindowComPort();
// The port that leads to the instrument behind the stand-in FTD2XX.DLL's adapter
// (DEVCONFIG_TEST_COM_ADAPTER).
int32_t AdapterComPort();
