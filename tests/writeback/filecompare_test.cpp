// What a compare with a file decides, without an instrument: which cells differ, the words the
// window shows, and which cells "Take file values" takes.
#include "writeback/cellslots.h"
#include "writeback/filecompare.h"

#include <gtest/gtest.h>

namespace {

const int Name0 = SlotOf(GridSensor, 1, 1);     // S0NAM
const int Cal0 = SlotOf(GridSensor, 4, 1);      // S0CAL0
const int Freq2 = SlotOf(GridSensor, 3, 3);     // S2CFRQ
const int Therm = SlotOf(GridThermistor, 3, 2); // TH1R0

TFileCompare Started()
{
    TFileCompare compare;
    compare.Start("PLANT-A.txt",
                  {{"S0NAM", "Inlet"}, {"S0CAL0", "1.0"}, {"S2CFRQ", "4321"}, {"TH1R0", " 10.0 "}});
    return compare;
}

// Values are compared byte for byte, as --compare compares them.
TEST(FileCompare, DiffersOnlyWhereTheFileAndAKnownValueDiffer)
{
    const struct
    {
        int Slot;
        std::optional<std::string> Instrument;
        bool Differs;
    } cases[] = {
        {Name0, "Inlet", false},
        {Name0, "inlet", true},
        {Cal0, "1.00", true},        // written differently
        {Cal0, std::nullopt, false}, // not known: its read went unanswered
        {Therm, "10.0", true},
        {Therm, " 10.0 ", false},
        {SlotOf(GridSensor, 2, 1), "anything", false}, // S0FRP, not in the file
        {-1, "x", false},
    };
    const TFileCompare compare = Started();
    for (const auto& c : cases)
        EXPECT_EQ(compare.Differs(c.Slot, c.Instrument), c.Differs)
            << c.Slot << " " << c.Instrument.value_or("(unknown)");
    EXPECT_EQ(compare.FileValueOf(Freq2), "4321");
}

TEST(FileCompare, WordsCountAndEscapeWhatComesFromOutside)
{
    TFileCompare compare;
    compare.Start("PLANT-A.txt", {{"S0NAM", "Caf\xE9"}});
    EXPECT_EQ(compare.Summary(0), "No setting differs from PLANT-A.txt");
    EXPECT_EQ(compare.Summary(1), "1 setting differs from PLANT-A.txt");
    EXPECT_EQ(compare.Summary(3), "3 settings differ from PLANT-A.txt");
    const QString tip = compare.Tip(Name0, "Old\x7F");
    EXPECT_TRUE(tip.startsWith("Differs from PLANT-A.txt: the file holds \"Caf\u00E9\""))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains("the instrument \"Old\\x7F\"")) << tip.toStdString();

    compare.Start(QString::fromUtf8("evil\x1b[2J.txt"), {});
    EXPECT_EQ(compare.Summary(2), "2 settings differ from evil\\x1B[2J.txt");
}

TEST(FileCompare, RefusedFileSaysWhereAndThatNothingWasCompared)
{
    const TSettingsFileResult file =
        TSettingsFile::Parse("PLANT-A.txt", "S0NAM=a\nS99NAM=no such setting\n");
    ASSERT_FALSE(file.Ok());
    const QString text = TFileCompare::Refused(file);
    EXPECT_TRUE(text.startsWith("PLANT-A.txt, line 2: ")) << text.toStdString();
    EXPECT_TRUE(text.contains("Nothing was compared"));
}

TEST(FileCompare, TakesTheMarkedCellsOfTheSelectionOrElseAllMarked)
{
    TCellMarks marks;
    for (int slot : {Name0, Freq2, Therm})
        marks.Set(slot, TCellMark::DiffersFromFile, "tip");
    marks.Set(Cal0, TCellMark::Unconfirmed, "an edit");
    const struct
    {
        const char* Name;
        std::vector<int> Selected;
        std::vector<int> Taken;
    } cases[] = {
        {"nothing selected", {}, {Name0, Freq2, Therm}},
        {"no marked cell selected", {Cal0, SlotOf(GridSensor, 2, 2)}, {Name0, Freq2, Therm}},
        {"some marked selected", {Therm, Cal0, Name0, Therm}, {Name0, Therm}},
        {"an unbound cell selected", {-1}, {Name0, Freq2, Therm}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TFileCompare::ToTake(c.Selected, marks), c.Taken) << c.Name;
    EXPECT_TRUE(TFileCompare::ToTake({Name0}, TCellMarks()).empty());
}

} // namespace
