#pragma once

#include "report/report.h"

#include <QByteArray>
#include <QLocale>
#include <QPageSize>

#include <optional>
#include <string>

// A report as a PDF: a title page's facts, the two tables as the window lays them out with
// each value whole and its state in words, what was written, the differences from a file, and
// "page N of M" on every page. Black on white: nothing is told by colour. Everything from
// outside is escaped as the terminal shows it. Needs a QGuiApplication (fonts).
class TReportPdf
{
public:
    // Writes the PDF to `path` atomically (a crash leaves the old file or the new one). Returns
    // why it was not written, for the user, or nothing when it was.
    static std::optional<std::string> Write(const TReport& report, const std::string& path);
    // The PDF itself, on pages of `size`.
    static QByteArray Render(const TReport& report, QPageSize::PageSizeId size);
    // Letter where the locale uses it (the Americas' inch countries), A4 elsewhere.
    static QPageSize::PageSizeId PageSizeFor(const QLocale& locale);
    // The time as ISO 8601 in local time with its offset from UTC: 2026-12-10T04:15:00+01:00.
    static std::string LocalTime(std::time_t at);
};
