#pragma once

#include <array>

// The program's exit statuses.
namespace ExitStatus {

// The window's normal end, whatever happened while it was open.
constexpr int WindowClosed = 99999;

constexpr int Done = 0;
constexpr int NotAsInFile = 1;   // --write: a setting not taken; --compare: differences
constexpr int Usage = 2;         // a usage error or a bad settings file: nothing was sent
constexpr int NoAdapter = 3;     // no adapter found, the port not opened, or the adapter unplugged
constexpr int Unanswered = 4;    // the instrument left a request unanswered
constexpr int NoDisplay = 5;     // the window cannot open: there is no display
constexpr int NotInstrument = 6; // the device on the port is not the instrument
constexpr int ValuesLookWrong = 7; // the instrument holds text where it holds a number
constexpr int Interrupted = 130;   // a run stopped by SIGINT (Ctrl+C)
constexpr int Terminated = 143;    // a run stopped by SIGTERM

struct TMeaning
{
    int Status;
    const char* Text;
};

// For --help: the statuses of the runs without a window.
constexpr std::array<TMeaning, 10> Meanings = {{
    {Done, "done (--write: every setting confirmed; --compare: no difference)"},
    {NotAsInFile, "--write: a setting was not taken; --compare: differences found;\n"
                  "     --read: a value could not be kept in the file"},
    {Usage, "usage error, a bad settings file or a refused --read or --report target:\n"
            "     nothing was sent; --read also when its file could not be written\n"
            "     after the reads (a full disk): only reads were sent; and a run\n"
            "     otherwise done whose --report could not be written at the end"},
    {NoAdapter, "no adapter found (also for --find-adapter), several adapters and no\n"
                "     --port, the port could not be opened, or the adapter was unplugged"},
    {Unanswered, "the instrument left a request unanswered, or its reply was too long"},
    {NoDisplay, "no display for the window (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM unset)"},
    {NotInstrument, "the device on the port is not the instrument: it sends data by itself\n"
                    "     (no file was written, no setting was written to it)"},
    {ValuesLookWrong, "the run was done, but the instrument holds text where it holds a\n"
                      "     number (standard error names each; --read leaves them out of\n"
                      "     the file); write a number to repair them"},
    {Interrupted, "stopped by Ctrl+C (SIGINT); standard error says what was done"},
    {Terminated, "stopped by SIGTERM; standard error says what was done"},
}};

} // namespace ExitStatus
