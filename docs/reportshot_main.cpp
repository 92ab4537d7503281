// report-shot: the manual's example report, made by a real --write run against the simulated
// instrument on a pseudo-terminal, with one setting the instrument refuses, so that the
// picture of its first page shows what a report holds.
//
//   report-shot OUTPUT.pdf

#include "cli/exitstatus.h"
#include "cli/settingsrun.h"
#include "driver/sdi12d.h"
#include "serial/adapterlocator.h"
#include "settingsfile/atomicwrite.h"
#include "sim/instrumentsim.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <iostream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: report-shot OUTPUT.pdf\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication fonts(argc, argv);
    // In the report's folder, so that the report names the settings file as a user would.
    const QFileInfo target(QString::fromLocal8Bit(argv[1]));
    if (!QDir::setCurrent(target.absolutePath())) {
        std::fprintf(stderr, "report-shot: no folder %s\n", qPrintable(target.absolutePath()));
        return 2;
    }
    const std::string report = target.fileName().toStdString();
    TInstrumentSim sim;
    sim.SetRejectedWrite("S1NAM");
    const std::string file = "site.txt";
    if (const auto problem = WriteFileAtomically(
            file, "S0NAM=Tank 3 level\nS0CFRQ=3150\nS1NAM=Tank 3 temperature\nTH0R0=3000\n")) {
        std::fprintf(stderr, "report-shot: %s\n", problem->c_str());
        return 2;
    }
    Tsdi12d driver;
    TAdapterLocator locator;
    locator.UseDevice(sim.SlavePath());
    std::ostringstream out;
    TProgramOptions options;
    options.Action = TProgramOptions::FileAction::Write;
    options.SettingsFile = file;
    options.ReportFile = report;
    TSettingsRun run(driver, locator, out, std::cerr, false);
    const int status = run.Execute(options);
    std::remove(file.c_str());
    // The refused setting makes the run end with 1; anything else is a fault of the example.
    if (status != ExitStatus::NotAsInFile) {
        std::fprintf(stderr, "report-shot: the run ended with status %d\n", status);
        return 1;
    }
    return 0;
}
