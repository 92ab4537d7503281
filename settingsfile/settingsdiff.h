#pragma once

#include "settingsfile/settingsfile.h"

#include <string>
#include <vector>

// Where an instrument's settings and a settings file's part ways, for --compare and for the
// window's compare alike. Values are compared byte for byte, as they go over the wire: "1.0"
// and "1.00" differ, since the instrument keeps the text it was sent. A setting the file does
// not hold is not compared.
class TSettingsDiff
{
public:
    struct Difference
    {
        std::string Key;
        std::string Instrument;
        std::string File;

        bool operator==(const Difference&) const = default;
    };

    static bool Differs(const std::string& instrument, const std::string& file);
    // In the instrument list's order.
    static std::vector<Difference> Between(const SettingList& instrument, const SettingList& file);
};
