#pragma once

#include "report/report.h"
#include "serial/adapterlist.h"

#include <optional>
#include <string>

class TWriteBack;

// The window's report: each cell's text as the table shows it, its mark in words, and the
// cells written since the last Connect with whether the instrument confirmed them.
class TCellsReport
{
public:
    static TReport Of(const TWriteBack& cells, const std::optional<TAdapterInfo>& adapter,
                      const std::string& port);
};
