#pragma once

#include <string>
#include <vector>

// The command-line options beyond Qt's own. With none, the program searches for the FTDI
// adapter when Connect is pressed.
class TProgramOptions
{
public:
    std::string Port;         // --port DEVICE: Connect opens this device instead of searching
    bool Simulate = false;    // --simulate: a built-in simulated instrument stands in
    bool FindAdapter = false; // --find-adapter: print what the search finds and exit
    bool Help = false;        // --help
    std::string Error;        // why the command line was refused; empty when it was not

    // Takes out the options it knows; the rest (Qt's own, such as -platform) stay in argv.
    static TProgramOptions Parse(int& argc, char** argv);
    static std::string Usage(const std::string& program);
};
