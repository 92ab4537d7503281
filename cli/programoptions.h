#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The command-line options beyond Qt's own. With none, the program searches for the FTDI
// adapter when Connect is pressed.
class TProgramOptions
{
public:
    // What the run does with a settings file, without a window.
    enum class FileAction
    {
        None,    // the window
        Read,    // --read FILE
        Write,   // --write FILE
        Compare, // --compare FILE
    };

    std::string Port;         // --port DEVICE: Connect opens this device instead of searching
    bool Simulate = false;    // --simulate: a built-in simulated instrument stands in
    bool FindAdapter = false; // --find-adapter: print what the search finds and exit
    bool Help = false;        // --help
    FileAction Action = FileAction::None;
    std::string SettingsFile; // the FILE of --read, --write or --compare; "-": standard output
    uint32_t TimeoutMs = 0;   // --timeout; 0 when not given: the driver's own reply limit
    std::string LogFile;      // --log FILE: the dialogue log is appended to FILE; "": none
    bool AllAdapters = false; // --all-adapters: every adapter found, at the same time
    std::string SummaryFile;  // --summary FILE: the batch's table as CSV
    std::string ReportFile;   // --report FILE (DIR with --all-adapters): the run's PDF report
    std::optional<std::string> Error; // why the command line was refused

    // Takes out the options it knows; Qt's own (such as -platform) stay in argv. Anything
    // else is refused, before anything needs a display.
    static TProgramOptions Parse(int& argc, char** argv);
    static std::string Usage(const std::string& program);
};
