#include "settingsfile/settingsdiff.h"

#include <algorithm>

bool TSettingsDiff::Differs(const std::string& instrument, const std::string& file)
{
    return instrument != file;
}

std::vector<TSettingsDiff::Difference> TSettingsDiff::Between(const SettingList& instrument,
                                                              const SettingList& file)
{
    std::vector<Difference> differences;
    for (const TSettingValue& held : instrument) {
        const auto found = std::find_if(file.begin(), file.end(),
                                        [&](const TSettingValue& s) { return s.Key == held.Key; });
        if (found != file.end() && Differs(held.Value, found->Value))
            differences.push_back({held.Key, held.Value, found->Value});
    }
    return differences;
}
