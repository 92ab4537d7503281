// The look of the cell marks over every mark and both palettes: readable text, a sign of its
// own for each mark, and grounds that stay apart when colour is lost.
#include "writeback/marklook.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>

#include <set>

namespace {

struct PaletteCase
{
    const char* Name;
    bool Dark;
    TRgb Base; // the tables' ground of a typical palette of the kind
};

class MarkLook : public ::testing::TestWithParam<PaletteCase>
{
};

TEST_P(MarkLook, TextKeepsTheContrastOnEveryMarksGround)
{
    for (TCellMark mark : TMarkLook::Marks()) {
        const TMarkLook::Look look = TMarkLook::Of(mark, GetParam().Dark);
        EXPECT_GE(TMarkLook::Contrast(look.Text, look.Ground), TMarkLook::MinimumContrast)
            << TMarkLook::ColourName(mark).toStdString();
    }
}

TEST_P(MarkLook, EveryMarkHasASignOfItsOwnInEitherPalette)
{
    std::set<TMarkSign> signs;
    std::set<QString> symbols;
    for (TCellMark mark : TMarkLook::Marks()) {
        const TMarkSign sign = TMarkLook::Of(mark, GetParam().Dark).Sign;
        EXPECT_NE(sign, TMarkSign::None);
        EXPECT_EQ(sign, TMarkLook::SignOf(mark));
        signs.insert(sign);
        symbols.insert(TMarkLook::SymbolOf(sign));
    }
    EXPECT_EQ(signs.size(), TMarkLook::Marks().size());
    EXPECT_EQ(symbols.size(), TMarkLook::Marks().size());
    EXPECT_FALSE(symbols.count(QString()));
}

TEST_P(MarkLook, GroundsStandOutFromTheTableAndFollowThePalette)
{
    EXPECT_EQ(TMarkLook::IsDark(GetParam().Base), GetParam().Dark);
    for (TCellMark mark : TMarkLook::Marks()) {
        const TRgb ground = TMarkLook::Of(mark, GetParam().Dark).Ground;
        // A dark ground in the dark palette: pale tints would glare and take light text badly.
        EXPECT_EQ(TMarkLook::IsDark(ground), GetParam().Dark);
        EXPECT_NE(ground, GetParam().Base);
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, MarkLook,
                         ::testing::Values(PaletteCase{"Light", false, {255, 255, 255}},
                                           PaletteCase{"Dark", true, {42, 42, 42}}),
                         [](const auto& info) { return std::string(info.param.Name); });

// On a grey-scale printout the light grounds still differ in lightness, besides their signs.
TEST(MarkLookGrey, LightGroundsDifferInLightness)
{
    const auto& marks = TMarkLook::Marks();
    for (size_t i = 0; i < marks.size(); ++i)
        for (size_t j = i + 1; j < marks.size(); ++j) {
            const double a = TMarkLook::Luminance(TMarkLook::Of(marks[i], false).Ground);
            const double b = TMarkLook::Luminance(TMarkLook::Of(marks[j], false).Ground);
            EXPECT_GE(std::abs(a - b), 0.1) << i << " and " << j;
        }
}

// The formula against known figures: black on white, and the grey text on grey the window
// used to show for an unanswered setting, which failed the rule.
TEST(MarkLookGrey, ContrastMatchesKnownFigures)
{
    EXPECT_NEAR(TMarkLook::Contrast({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(TMarkLook::Contrast({128, 128, 128}, {205, 205, 205}), 2.48, 0.01);
    EXPECT_NEAR(TMarkLook::Contrast({118, 118, 118}, {255, 255, 255}), 4.54, 0.01);
}

TEST(MarkLookLegend, NamesEveryMarkOnALineOfItsOwn)
{
    const QStringList lines = TMarkLook::Legend().split('\n');
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(TMarkLook::Marks().size()));
    for (size_t i = 0; i < TMarkLook::Marks().size(); ++i) {
        const TCellMark mark = TMarkLook::Marks()[i];
        EXPECT_TRUE(lines[static_cast<qsizetype>(i)].startsWith(
            TMarkLook::SymbolOf(TMarkLook::SignOf(mark)) + ' ' + TMarkLook::ColourName(mark)));
    }
    EXPECT_EQ(TMarkLook::Of(TCellMark::None, false).Sign, TMarkSign::None);
}

} // namespace
