#include "app/displaycheck.h"
#include "app/tapplication.h"
#include "cli/batchrun.h"
#include "cli/exitstatus.h"
#include "cli/programoptions.h"
#include "cli/settingsrun.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "serial/commsport.h"
#include "serial/latencycheck.h"
#include "session/programlog.h"
#include "settingsfile/showntext.h"
#include "window/mainform.h"

#ifndef _WIN32
#include "sim/instrumentsim.h"
#endif

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
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
    const std::vector<TAdapterInfo> adapters = locator.Adapters();
    if (adapters.empty()) {
        std::printf("%s\n", locator.Locate().Problem.c_str());
        return ExitStatus::NoAdapter;
    }
    const int takenIndex = locator.TakenIndex(adapters);
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        const bool taken = static_cast<int>(i) == takenIndex;
        // The description comes from the device: shown escaped.
        std::printf("Adapter found: %s%s\n",
                    TShownText::Of(TAdapterList::Describe(adapters[i])).c_str(),
                    taken ? "  <- Connect takes this one" : "");
        const std::string latency = TLatencyCheck().Advice(adapters[i].DevicePath, false);
        if (!latency.empty())
            std::printf("  %s\n", latency.c_str());
    }
    if (takenIndex < 0)
        std::printf("%s\n", TAdapterLocator::NoneTakenText);
    return ExitStatus::Done;
}

// The program's dialogue log, before anything else happens: a run whose dialogue was asked for
// does not start without it. The window always keeps one in memory, for "Save dialogue log...";
// a file run only with --log. False when the file cannot be opened (said on standard error).
bool StartLog(const std::string& program, const TProgramOptions& options, bool windowed)
{
    if (!windowed && options.LogFile.empty())
        return true;
    TDialogueLog& log = StartProgramLog();
    if (options.LogFile.empty())
        return true;
    const std::optional<std::string> problem = log.Open(options.LogFile);
    if (!problem)
        return true;
    std::fprintf(stderr,
                 "%s: %s\nNothing was sent. Give --log a file in a folder that exists and that "
                 "you may write to, or leave --log out.\n",
                 program.c_str(), problem->c_str());
    return false;
}

// The report's PDF needs an application object for its fonts; a file run has none otherwise,
// and needs no display: without a platform chosen (QT_QPA_PLATFORM, -platform), Linux takes
// the offscreen one. Windows' own platform needs no display.
std::unique_ptr<QGuiApplication> ReportFonts(int& argc, char** argv)
{
#ifndef _WIN32
    bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i)
        chosen = chosen || std::strcmp(argv[i], "-platform") == 0 ||
                 std::strcmp(argv[i], "--platform") == 0 ||
                 std::strncmp(argv[i], "-platform=", 10) == 0;
    if (!chosen)
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    return std::make_unique<QGuiApplication>(argc, argv);
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
    const bool windowed = options.Action == TProgramOptions::FileAction::None;
    if (!StartLog(program, options, windowed))
        return ExitStatus::Usage;
    if (options.FindAdapter)
        return ReportAdapter();
    if (windowed) {
        if (const auto missing = TDisplayCheck::Problem(argc, argv)) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), missing->c_str());
            return ExitStatus::NoDisplay;
        }
    }

#ifndef _WIN32
    // Declared before the window is created, so it outlives the window and its comms thread.
    std::unique_ptr<TInstrumentSim> simulated;
    if (options.Simulate) {
        try {
            simulated = std::make_unique<TInstrumentSim>();
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
    std::unique_ptr<QGuiApplication> reportFonts;
    if (!windowed && !options.ReportFile.empty())
        reportFonts = ReportFonts(argc, argv);
    if (options.AllAdapters)
        return TBatchRun(std::cout, std::cerr, StandardErrorIsTerminal())
            .Execute(options, adapterLocator);
    if (!options.Port.empty())
        adapterLocator.UseDevice(options.Port);
    if (!windowed) {
        // No window and no application object: this runs where no display exists.
        TSettingsRun run(sdi12d, adapterLocator, std::cout, std::cerr, StandardErrorIsTerminal(),
                         ProgramLog());
        return run.Execute(options);
    }

    return TApplication::Run(argc, argv, [] { return std::make_unique<TMainWindow>(); });
}
