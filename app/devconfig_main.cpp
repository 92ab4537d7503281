#include "app/displaycheck.h"
#include "app/tapplication.h"
#include "cli/batchrun.h"
#include "cli/exitstatus.h"
#include "cli/programoptions.h"
#include "cli/settingsrun.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "serial/commsport.h"
#include "settingsfile/showntext.h"
#include "window/mainform.h"

#ifndef _WIN32
#include "sim/instrumentsim.h"
#endif

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::string ProgramName(char** argv)
{
    std::string path = argv[0] ? argv[0] : "devconfig";
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every adapter found, one a line; Connect takes the one marked. When none is found, why.
int ReportAdapter()
{
    const TAdapterLocator locator;
    const std::vector<AdapterInfo> adapters = locator.Adapters();
    if (adapters.empty()) {
        std::printf("%s\n", locator.Locate().Problem.c_str());
        return ExitStatus::NoAdapter;
    }
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const bool taken = i + 1 == adapters.size();
        // The description comes from the device: shown escaped.
        std::printf("Adapter found: %s%s\n",
                    TShownText::Of(TAdapterList::Describe(adapters[i])).c_str(),
                    taken ? "  <- Connect takes this one" : "");
    }
    return ExitStatus::Done;
}

bool StandardErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string program = ProgramName(argv);
    const TProgramOptions options = TProgramOptions::Parse(argc, argv);
    if (options.Error) {
        std::fprintf(stderr, "%s: %s\n\n%s", program.c_str(), options.Error->c_str(),
                     TProgramOptions::Usage(program).c_str());
        return ExitStatus::Usage;
    }
    if (options.Help) {
        std::printf("%s", TProgramOptions::Usage(program).c_str());
        return ExitStatus::Done;
    }
    if (options.FindAdapter)
        return ReportAdapter();
    const bool windowed = options.Action == TProgramOptions::FileAction::None;
    if (windowed) {
        if (const auto missing = TDisplayCheck::Problem(argc, argv)) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), missing->c_str());
            return ExitStatus::NoDisplay;
        }
    }

#ifndef _WIN32
    // Declared before the window is created, so it outlives the window and its comms thread.
    std::unique_ptr<InstrumentSim> simulated;
    if (options.Simulate) {
        try {
            simulated = std::make_unique<InstrumentSim>();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: cannot start the simulated instrument: %s\n", program.c_str(),
                         e.what());
            return ExitStatus::NoAdapter;
        }
        adapterLocator.UseDevice(simulated->SlavePath());
    }
#else
    if (options.Simulate) {
        std::fprintf(stderr, "%s: --simulate is not available on this platform\n", program.c_str());
        return ExitStatus::Usage;
    }
#endif
    if (options.AllAdapters)
        return TBatchRun(std::cout, std::cerr, StandardErrorIsTerminal())
            .Execute(options, adapterLocator);
    if (!options.Port.empty())
        adapterLocator.UseDevice(options.Port);
    if (!windowed) {
        // No window and no application object: this runs where no display exists.
        TSettingsRun run(sdi12d, adapterLocator, std::cout, std::cerr, StandardErrorIsTerminal());
        return run.Execute(options);
    }

    return TApplication::Run(argc, argv, [] { return std::make_unique<TMainWindow>(); });
}
