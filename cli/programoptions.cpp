#include "cli/programoptions.h"

#include "cli/exitstatus.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool Matches(const char* arg, const char* name)
{
    return std::strcmp(arg, name) == 0;
}

// "--port=DEV" form; returns the value or nullptr.
const char* InlineValue(const char* arg, const char* name)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) == 0 && arg[n] == '=')
        return arg + n + 1;
    return nullptr;
}

// The options Qt's application object takes, with "-" or "--"; those with a value take it
// as the next argument or after "=".
constexpr std::array<const char*, 12> QtValueOptions = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "style",         "stylesheet"};
constexpr std::array<const char*, 6> QtFlagOptions = {"reverse", "widgetcount", "nograb",
                                                      "dograb",  "sync",        "qmljsdebugger"};

// How many arguments a Qt option at argv[i] spans: 0 when it is not one of Qt's, -1 when its
// value is missing.
int QtOptionLength(int i, int argc, char** argv)
{
    const char* arg = argv[i];
    if (arg[0] != '-')
        return 0;
    const char* name = arg[1] == '-' ? arg + 2 : arg + 1;
    for (const char* option : QtValueOptions) {
        if (Matches(name, option))
            return i + 1 < argc ? 2 : -1;
        if (InlineValue(name, option))
            return 1;
    }
    for (const char* option : QtFlagOptions)
        if (Matches(name, option) || InlineValue(name, option))
            return 1;
    return 0;
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; nullptr when arg is not
// that option. A missing value is reported as an empty one.
const char* OptionValue(const char* name, int& i, int argc, char** argv)
{
    if (Matches(argv[i], name))
        return i + 1 < argc ? argv[++i] : "";
    return InlineValue(argv[i], name);
}

void TakeFileAction(TProgramOptions& options, TProgramOptions::FileAction action, const char* name,
                    const char* file)
{
    if (options.Action != TProgramOptions::FileAction::None)
        options.Error = "--read, --write and --compare exclude each other";
    else if (file[0] == '\0')
        options.Error =
            std::string(name) + " needs a settings file, for example " + name + " settings.txt";
    options.Action = action;
    options.SettingsFile = file;
}

void TakeTimeout(TProgramOptions& options, const char* text)
{
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    const double ms = std::round(seconds * 1000.0);
    if (text[0] == '\0' || *end != '\0' || !(ms >= 1.0) || ms > 4.0e9) {
        options.Error = "--timeout needs a number of seconds above 0, for example --timeout 10";
        return;
    }
    options.TimeoutMs = static_cast<uint32_t>(ms);
}

// --all-adapters goes with a settings file and searches by itself; --summary goes with it.
void CheckBatch(TProgramOptions& options)
{
    if (options.Error)
        return;
    if (!options.AllAdapters) {
        if (!options.SummaryFile.empty())
            options.Error = "--summary applies only to --all-adapters";
        return;
    }
    if (!options.Port.empty() || options.Simulate)
        options.Error = "--all-adapters serves every adapter found; it excludes --port and "
                        "--simulate";
    else if (options.Action == TProgramOptions::FileAction::None)
        options.Error = "--all-adapters needs --read DIR, --write FILE or --compare FILE";
}

} // namespace

TProgramOptions TProgramOptions::Parse(int& argc, char** argv)
{
    using Action = FileAction;
    TProgramOptions options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = nullptr;
        if (Matches(arg, "--simulate")) {
            options.Simulate = true;
        } else if (Matches(arg, "--find-adapter")) {
            options.FindAdapter = true;
        } else if (Matches(arg, "--help") || Matches(arg, "-h")) {
            options.Help = true;
        } else if ((value = OptionValue("--port", i, argc, argv))) {
            options.Port = value;
            if (options.Port.empty())
                options.Error = "--port needs a device, for example --port /dev/ttyUSB0";
        } else if ((value = OptionValue("--read", i, argc, argv))) {
            TakeFileAction(options, Action::Read, "--read", value);
        } else if ((value = OptionValue("--write", i, argc, argv))) {
            TakeFileAction(options, Action::Write, "--write", value);
        } else if ((value = OptionValue("--compare", i, argc, argv))) {
            TakeFileAction(options, Action::Compare, "--compare", value);
        } else if ((value = OptionValue("--timeout", i, argc, argv))) {
            TakeTimeout(options, value);
        } else if ((value = OptionValue("--log", i, argc, argv))) {
            options.LogFile = value;
            if (options.LogFile.empty())
                options.Error = "--log needs a file, for example --log dialogue.log";
        } else if (Matches(arg, "--all-adapters")) {
            options.AllAdapters = true;
        } else if ((value = OptionValue("--report", i, argc, argv))) {
            options.ReportFile = value;
            if (options.ReportFile.empty() || options.ReportFile == "-")
                options.Error = "--report needs a file, for example --report report.pdf";
        } else if ((value = OptionValue("--summary", i, argc, argv))) {
            options.SummaryFile = value;
            if (options.SummaryFile.empty())
                options.Error = "--summary needs a file, for example --summary batch.csv";
        } else if (const int span = QtOptionLength(i, argc, argv); span > 0) {
            for (int k = 0; k < span; ++k)
                argv[kept++] = argv[i + k];
            i += span - 1;
        } else if (span < 0) {
            options.Error = std::string(arg) + " needs a value";
        } else if (!options.Error) {
            options.Error = arg[0] == '-' ? std::string("unknown option ") + arg
                                          : std::string("unexpected argument ") + arg;
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    if (options.Simulate && !options.Port.empty())
        options.Error = "--port and --simulate exclude each other";
    if (!options.LogFile.empty() && options.LogFile == options.SettingsFile && !options.Error)
        options.Error = "--log needs a file of its own, not the settings file";
    if (!options.ReportFile.empty() && !options.Error) {
        if (options.Action == Action::None)
            options.Error = "--report applies only to --read, --write and --compare; in the "
                            "window, use \"Save report...\"";
        else if ((!options.AllAdapters && options.ReportFile == options.SettingsFile) ||
                 options.ReportFile == options.LogFile)
            options.Error = "--report needs a file of its own, not the settings file or the log";
    }
    if (options.TimeoutMs != 0 && options.Action == Action::None && !options.Error)
        options.Error = "--timeout applies only to --read, --write and --compare";
    CheckBatch(options);
    return options;
}

std::string TProgramOptions::Usage(const std::string& program)
{
    std::string text =
        "Usage: " + program +
        " [--port DEVICE | --simulate] [--log FILE] [--find-adapter] [--help]\n"
        "       " +
        program +
        " (--read FILE | --write FILE | --compare FILE) [--port DEVICE | --simulate]\n"
        "                 [--timeout SECONDS] [--log FILE] [--report FILE]\n"
        "       " +
        program +
        " --all-adapters (--read DIR | --write FILE | --compare FILE)\n"
        "                 [--summary FILE] [--timeout SECONDS] [--log FILE] [--report DIR]\n"
        "\n"
        "Configures the instrument attached through an FTDI USB-serial adapter.\n"
        "\n"
        "  --port DEVICE     Open DEVICE (for example /dev/ttyUSB0 or COM5) instead of\n"
        "                    searching for the adapter.\n"
        "  --simulate        Start the built-in simulated instrument; it stands in for\n"
        "                    the adapter. For trying the program without hardware.\n"
        "  --log FILE        Append the dialogue with the instrument to FILE: every\n"
        "                    command, reply and fault, with its time. Send it along when\n"
        "                    asking for help. For the window and the runs below.\n"
        "  --find-adapter    Print what the adapter search finds and exit.\n"
        "  --help            Print this text and exit.\n"
        "\n"
        "Without a window (no display needed):\n"
        "  --read FILE       Read all 181 settings into the settings file FILE\n"
        "                    (-: standard output).\n"
        "  --write FILE      Write each setting of FILE that differs from the instrument,\n"
        "                    read it back and report whether the instrument took it.\n"
        "  --compare FILE    Print each setting that differs between instrument and FILE:\n"
        "                    key, instrument value, file value. For --write and\n"
        "                    --compare, - as FILE is standard input.\n"
        "  --timeout SECONDS How long to wait for each reply (default 100); the run stops\n"
        "                    at the first request left unanswered.\n"
        "  --all-adapters    Serve every adapter found at the same time, each instrument\n"
        "                    on its own; --read DIR then writes DIR/<serial number>.txt\n"
        "                    for each. Ends with a table: one row per instrument. The\n"
        "                    status is the largest any instrument ended with.\n"
        "  --summary FILE    With --all-adapters: write the table as CSV to FILE.\n"
        "  --report FILE     Also write a commissioning report (PDF) of the run: what the\n"
        "                    instrument held, what was written and confirmed, and the\n"
        "                    differences; written even when the run ends badly. With\n"
        "                    --all-adapters, DIR gets DIR/<serial number>.pdf for each.\n"
        "\n"
        "Exit status:\n";
    for (const ExitStatus::TMeaning& meaning : ExitStatus::Meanings)
        text += "  " + std::to_string(meaning.Status) + "  " + meaning.Text + "\n";
    return text;
}
