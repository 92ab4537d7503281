#include "writeback/filecompare.h"

#include "settingsfile/settingsdiff.h"
#include "settingsfile/showntext.h"
#include "writeback/cellslots.h"

#include <algorithm>

namespace {

bool InRange(int slot)
{
    return slot >= 0 && slot < CellTableUsed;
}

// A Latin-1 value from outside, quoted as a message may show it.
QString QuotedValue(const std::string& latin1)
{
    return "\"" + QString::fromStdString(TShownText::Of(TSettingsFile::Utf8Of(latin1))) + "\"";
}

} // namespace

void TFileCompare::Start(const QString& fileName, const SettingList& file)
{
    Clear();
    IsActive = true;
    Name = fileName;
    for (const TSettingValue& setting : file) {
        const int slot = SlotOfKey(setting.Key);
        if (InRange(slot))
            Values[static_cast<size_t>(slot)] = setting.Value;
    }
}

void TFileCompare::Clear()
{
    IsActive = false;
    Name.clear();
    Values.fill(std::nullopt);
}

std::optional<std::string> TFileCompare::FileValueOf(int slot) const
{
    return InRange(slot) ? Values[static_cast<size_t>(slot)] : std::nullopt;
}

bool TFileCompare::Differs(int slot, const std::optional<std::string>& instrument) const
{
    const std::optional<std::string> file = FileValueOf(slot);
    return file && instrument && TSettingsDiff::Differs(*instrument, *file);
}

QString TFileCompare::ShownName() const
{
    return QString::fromStdString(TShownText::Of(Name.toStdString()));
}

QString TFileCompare::Tip(int slot, const std::string& instrument) const
{
    return "Differs from " + ShownName() + ": the file holds " +
           QuotedValue(FileValueOf(slot).value_or(std::string())) + ", the instrument " +
           QuotedValue(instrument) + ". Take file values makes the file's value an edit.";
}

QString TFileCompare::Summary(int differing) const
{
    if (differing == 0)
        return "No setting differs from " + ShownName();
    if (differing == 1)
        return "1 setting differs from " + ShownName();
    return QStringLiteral("%1 settings differ from %2").arg(differing).arg(ShownName());
}

QString TFileCompare::Refused(const TSettingsFileResult& file)
{
    return QString::fromStdString(file.Message()) +
           "\nNothing was compared. Correct the file and compare again.";
}

std::vector<int> TFileCompare::ToTake(const std::vector<int>& selected, const TCellMarks& marks)
{
    const auto marked = [&marks](int slot) {
        return marks.MarkOf(slot) == TCellMark::DiffersFromFile;
    };
    std::vector<int> take;
    for (int slot : selected)
        if (marked(slot) && std::find(take.begin(), take.end(), slot) == take.end())
            take.push_back(slot);
    if (!take.empty()) {
        std::sort(take.begin(), take.end());
        return take;
    }
    for (int slot = 0; slot < CellTableUsed; ++slot)
        if (marked(slot))
            take.push_back(slot);
    return take;
}
