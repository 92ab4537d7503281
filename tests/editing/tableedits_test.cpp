// The widget-free parts of editing a table as a block: clipboard text, where a paste goes,
// the undo history and the question Close asks.
#include "editing/closequestion.h"
#include "editing/edithistory.h"
#include "editing/pasteplan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using Rows = TClipboardBlock::Rows;

struct ParseCase
{
    const char* Text;
    Rows Expected;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.Text << '"';
}

class ClipboardParse : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ClipboardParse, SplitsRowsAndValues)
{
    EXPECT_EQ(TClipboardBlock::Parse(QString::fromLatin1(GetParam().Text)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ClipboardParse,
                         ::testing::Values(ParseCase{"1\t2\r\n3\t4\r\n", {{"1", "2"}, {"3", "4"}}},
                                           ParseCase{"a;b;c", {{"a", "b", "c"}}},
                                           ParseCase{"1.5,2.5", {{"1.5", "2.5"}}},
                                           ParseCase{"x, y\tz\n", {{"x, y", "z"}}},
                                           ParseCase{"9.75\n", {{"9.75"}}}, ParseCase{"\n", {}}),
                         [](const auto& info) { return "Text" + std::to_string(info.index); });

TEST(ClipboardBlock, CopiesTheSelectionAsTabSeparatedRows)
{
    const Rows rows = TClipboardBlock::FromCells({{3, 2, "b"}, {2, 2, "a"}, {3, 4, "d"}});
    EXPECT_EQ(TClipboardBlock::Text(rows), QString("a\tb\n\t\n\td\n"));
}

struct PlanCase
{
    const char* Name;
    Rows Block;
    TPastePlan::Target Target;
    size_t Edits;
    bool Refused;
};

void PrintTo(const PlanCase& c, std::ostream* os)
{
    *os << c.Name;
}

class PastePlan : public ::testing::TestWithParam<PlanCase>
{
};

TEST_P(PastePlan, FitsOrRefusesWhole)
{
    const PlanCase& c = GetParam();
    const TPastePlan plan = TPastePlan::Make(c.Block, c.Target);
    EXPECT_EQ(plan.Edits.size(), c.Edits) << c.Name;
    EXPECT_EQ(plan.Refusal.has_value(), c.Refused) << c.Name;
    if (plan.Refusal)
        EXPECT_TRUE(plan.Refusal->startsWith("Nothing was pasted: ")) << c.Name;
}

const Rows Block4x3{{"1", "2", "3"}, {"4", "5", "6"}, {"7", "8", "9"}, {"10", "11", "12"}};

INSTANTIATE_TEST_SUITE_P(
    Targets, PastePlan,
    ::testing::Values(
        PlanCase{"fits", Block4x3, {4, 17, {}, 8, 20}, 12, false},
        PlanCase{"too far right", Block4x3, {7, 1, {}, 8, 20}, 0, true},
        PlanCase{"too far down", Block4x3, {1, 18, {}, 8, 20}, 0, true},
        PlanCase{"on the labels", Block4x3, {0, 1, {}, 8, 20}, 0, true},
        PlanCase{"one into many", {{"0"}}, {2, 2, {{2, 2}, {2, 3}, {3, 3}}, 8, 20}, 3, false},
        PlanCase{"empty", {}, {1, 1, {}, 8, 20}, 0, true},
        PlanCase{"not connected", Block4x3, {1, 1, {}, 8, 20, false}, 0, true}),
    [](const auto& info) {
        std::string name = info.param.Name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(PastePlan, PutsEachValueInItsCell)
{
    const TPastePlan plan = TPastePlan::Make(Block4x3, {4, 17, {}, 8, 20});
    ASSERT_EQ(plan.Edits.size(), 12u);
    EXPECT_EQ(plan.Edits[5].Col, 6);
    EXPECT_EQ(plan.Edits[5].Row, 18);
    EXPECT_EQ(plan.Edits[5].Text, QString("6"));
}

TEST(EditHistory, UndoesAndRedoesStepByStep)
{
    TEditHistory history;
    history.Add({{21, "a", "b"}});
    history.Add({{22, "c", "d"}, {23, "e", "f"}});
    EXPECT_EQ(history.Undo().size(), 2u);
    EXPECT_EQ(history.Undo().front().Before, QString("a"));
    EXPECT_FALSE(history.CanUndo());
    EXPECT_EQ(history.Redo().front().After, QString("b"));
    // A new edit drops what was undone.
    history.Add({{24, "g", "h"}});
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(history.Undo().front().Slot, 24);
}

TEST(CloseQuestion, AsksOnlyWhenEditsAreNotConfirmed)
{
    EXPECT_FALSE(TCloseQuestion::Text(0));
    EXPECT_EQ(TCloseQuestion::Text(4),
              QString("4 settings are not confirmed in the instrument. Close anyway?"));
    EXPECT_EQ(TCloseQuestion::Text(1),
              QString("1 setting is not confirmed in the instrument. Close anyway?"));
}

} // namespace
