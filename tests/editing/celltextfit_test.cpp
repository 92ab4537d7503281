// How a value too wide for its cell is fitted, with every character 5 pixels wide in the
// first font and 4 in the second.
#include "editing/celltextfit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TCellTextFit::Measure Wide(int pixels)
{
    return [pixels](const QString& text) { return static_cast<int>(text.size()) * pixels; };
}

struct FitCase
{
    const char* Text;
    int Room;
    int Font;
    const char16_t* Shown;
};

void PrintTo(const FitCase& c, std::ostream* os)
{
    *os << c.Text << " in " << c.Room << " px";
}

class CellTextFit : public ::testing::TestWithParam<FitCase>
{
};

TEST_P(CellTextFit, KeepsTheStartAndTheWholeExponent)
{
    const FitCase& c = GetParam();
    const TCellTextFit::Result result =
        TCellTextFit::Fit(QString::fromLatin1(c.Text), c.Room, {Wide(5), Wide(4)});
    EXPECT_EQ(result.Font, c.Font);
    EXPECT_EQ(result.Text, QString::fromUtf16(c.Shown));
    EXPECT_EQ(result.Whole, result.Text == QString::fromLatin1(c.Text));
}

INSTANTIATE_TEST_SUITE_P(Values, CellTextFit,
                         ::testing::Values(FitCase{"-1.25E-03", 60, 0, u"-1.25E-03"},
                                           FitCase{"1.1292000e-03", 52, 1, u"1.1292000e-03"},
                                           FitCase{"3.14159265E+02", 40, 1, u"3.141\u2026E+02"},
                                           FitCase{"-1.2345678E-03", 48, 1, u"-1.2345\u2026E-03"},
                                           FitCase{"1.5e7", 12, 1, u"1\u2026e7"},
                                           FitCase{"Channel seventeen", 40, 1, u"Chann\u2026teen"},
                                           FitCase{"3.14159265358979", 40, 1, u"3.141\u20268979"}),
                         [](const auto& info) { return "Value" + std::to_string(info.index); });

} // namespace
