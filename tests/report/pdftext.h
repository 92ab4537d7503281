#pragma once
// The report's PDF as text, through poppler's pdftotext -layout (columns kept on their lines),
// and the application object the PDF writer needs for its fonts.
#include <QGuiApplication>

#include <cstdio>
#include <regex>
#include <string>
#include <utility>

inline void NeedFonts()
{
    static int argc = 1;
    static char name[] = "report-test";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(argc, argv); // lives as long as the test program
}

// Empty when the file is no PDF pdftotext can read.
inline std::string PdfText(const std::string& path, const std::string& options = "-layout")
{
    std::string text;
    const std::string command = "pdftotext " + options + " '" + path + "' - 2>/dev/null";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

// The line of a report's channel table that begins with the channel's label, and the line of
// the states under it; empty when there is none.
inline std::pair<std::string, std::string> ChannelLines(const std::string& text,
                                                        const std::string& label)
{
    std::smatch found;
    const std::regex row("\n *" + label + "( [^\n]*)?\n([^\n]*)\n");
    if (!std::regex_search(text, found, row))
        return {};
    return {found[0].str(), found[2].str()};
}
