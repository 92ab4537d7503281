// The report's PDF as a reader sees it (pdftotext): every value whole, the states in words,
// what was written and the differences, escaped text, page numbers, paper and time.
#include "report/reportpdf.h"
#include "tests/report/pdftext.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ReportPdfTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NeedFonts();
        Folder = fs::temp_directory_path() /
                 ("reportpdf_test." + std::to_string(getpid()) + "." +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override
    {
        if (!HasFailure())
            fs::remove_all(Folder);
    }

    std::string Written(const TReport& report, const std::string& options = "-layout")
    {
        const std::string path = (Folder / "report.pdf").string();
        const auto problem = TReportPdf::Write(report, path);
        EXPECT_FALSE(problem) << *problem;
        return PdfText(path, options);
    }

    fs::path Folder;
};

// The widest values the instrument's fields take: long names and full-precision coefficients,
// each one different so that each is found on its own.
TReport Widest()
{
    TReport report;
    report.At = 1765000000;
    report.AdapterDescription = "FT232R USB UART";
    report.AdapterSerial = "A10KX3QZ";
    report.Port = "/dev/ttyUSB0";
    for (std::size_t i = 0; i < report.Values.size(); ++i) {
        const TSettingKey& key = TSettingKeys::All()[i];
        char text[32];
        if (key.Col == 1)
            std::snprintf(text, sizeof text, "Channel name %03zu", i);
        else
            std::snprintf(text, sizeof text, "-%d.%06zuE-0%d", key.Row % 10, i, key.Col);
        report.Values[i] = {text, TReportState::Read};
    }
    return report;
}

TEST_F(ReportPdfTest, EveryValueAppearsWholeWithItsIdentity)
{
    const std::string text = Written(Widest());
    for (const TReport::Value& value : Widest().Values)
        EXPECT_NE(text.find(value.Text), std::string::npos) << value.Text << " not whole";
    for (const char* fact : {"Commissioning report", "devconfig 0.1.0", "FT232R USB UART",
                             "A10KX3QZ", "/dev/ttyUSB0", "Therm#", "Mid Hz", "Nothing was written"})
        EXPECT_NE(text.find(fact), std::string::npos) << fact;
    EXPECT_NE(text.find("page 1 of 1"), std::string::npos);
}

// A report longer than a page: every page says its number and the same count, and a table
// split over pages repeats its header.
TEST_F(ReportPdfTest, EveryPageSaysNOfM)
{
    TReport report = Widest();
    for (const TReport::Value& value : report.Values)
        report.Writes.push_back({"S0NAM", value.Text, value.Text + "0", TReportState::Confirmed});
    const std::string text = Written(report);
    std::smatch first;
    ASSERT_TRUE(std::regex_search(text, first, std::regex(R"(page 1 of (\d+))")));
    const int pages = std::stoi(first[1]);
    EXPECT_GE(pages, 3);
    for (int page = 1; page <= pages; ++page)
        EXPECT_NE(text.find("page " + std::to_string(page) + " of " + std::to_string(pages)),
                  std::string::npos)
            << page;
    EXPECT_EQ(text.find("page " + std::to_string(pages + 1)), std::string::npos);
    const std::string path = (Folder / "report.pdf").string();
    for (int page = 2; page <= pages; ++page) {
        const std::string only = std::to_string(page);
        EXPECT_NE(PdfText(path, "-layout -f " + only + " -l " + only).find("Old value"),
                  std::string::npos)
            << "no header on page " << page;
    }
    for (const TReport::Write& write : report.Writes)
        EXPECT_NE(text.find(write.New), std::string::npos) << write.New;
}

TEST_F(ReportPdfTest, EachStateIsSaidInWords)
{
    const std::vector<std::pair<TReportState, const char*>> states = {
        {TReportState::Read, "read"},
        {TReportState::Confirmed, "confirmed"},
        {TReportState::NotConfirmed, "not confirmed"},
        {TReportState::NotTaken, "not taken"},
        {TReportState::NoAnswer, "no answer"},
        {TReportState::NeverSent, "never sent"},
        {TReportState::Overlong, "reply too long"},
        {TReportState::LooksWrong, "looks wrong"},
    };
    TReport report = Widest();
    // One state a row of the thermistor table, whose rows hold nothing else; the key words
    // are then looked for under that row's values.
    for (const auto& [state, word] : states) {
        for (TReport::Value& value : report.Values)
            value.State = TReportState::Read;
        report.Values[TSettingKeys::Count - 1].State = state; // TH2STD, the last cell
        const std::string text = Written(report);
        const std::string row = report.Values[TSettingKeys::Count - 1].Text;
        const auto at = text.find(row);
        ASSERT_NE(at, std::string::npos);
        const std::string under = text.substr(at, text.find("page", at) - at);
        EXPECT_NE(under.find(word), std::string::npos) << word << " in:\n" << under;
        EXPECT_EQ(TReport::WordOf(state), std::string(word));
    }
}

TEST_F(ReportPdfTest, WritesAndDifferencesAreListedByKey)
{
    TReport report = Widest();
    report.Writes = {{"S7FRP", "1", "2", TReportState::Confirmed},
                     {"S0NAM", "Old name", "New name", TReportState::NotTaken},
                     {"TH1R0", "", "3000", TReportState::NoAnswer}};
    report.Compared = true;
    report.ComparedFile = "/srv/site 4/commissioned.txt";
    report.Differences = {{"S3CAL2", "-3.048E-03", "-3.100E-03"}};
    const std::string text = Written(report);
    const std::vector<std::regex> lines = {
        std::regex(R"(S7FRP +1 +2 +confirmed)"),
        std::regex(R"(S0NAM +Old name +New name +not taken)"),
        std::regex(R"(TH1R0 +\(not known\) +3000 +no answer)"),
        std::regex(R"(File: /srv/site 4/commissioned\.txt)"),
        std::regex(R"(S3CAL2 +-3\.048E-03 +-3\.100E-03)"),
    };
    for (const std::regex& line : lines)
        EXPECT_TRUE(std::regex_search(text, line)) << text;
}

// Text from the instrument or a file is shown as the terminal shows it: a control character
// cannot reach the PDF as itself.
TEST_F(ReportPdfTest, TextFromOutsideIsEscaped)
{
    TReport report = Widest();
    report.Values[0].Text = "Esc\x1b[2Jhere";
    report.AdapterDescription = "Bad\x07"
                                "bell";
    report.ComparedFile = "a\nb.txt";
    report.Compared = true;
    const std::string text = Written(report, "-raw");
    EXPECT_NE(text.find("Esc\\x1B[2Jhere"), std::string::npos) << text;
    EXPECT_NE(text.find("Bad\\x07bell"), std::string::npos);
    EXPECT_NE(text.find("a\\x0Ab.txt"), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
}

// A file name without spaces that is wider than the page wraps inside it, and stays whole.
TEST_F(ReportPdfTest, ALongFileNameWrapsInsideThePage)
{
    TReport report = Widest();
    report.Compared = true;
    report.ComparedFile = "/srv/" + std::string(180, 'k') + "/site.txt";
    std::string text = Written(report, "-layout -x 0 -y 0 -W 595 -H 842");
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    EXPECT_NE(text.find(report.ComparedFile), std::string::npos) << text;
}

TEST_F(ReportPdfTest, AFolderThatIsMissingIsSaidAndNothingIsLeft)
{
    const std::string path = (Folder / "missing" / "report.pdf").string();
    const auto problem = TReportPdf::Write(Widest(), path);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->rfind("The report was not written: ", 0), 0u) << *problem;
    EXPECT_NE(problem->find("missing"), std::string::npos) << *problem;
    EXPECT_FALSE(fs::exists(Folder / "missing"));
}

TEST_F(ReportPdfTest, LetterWhereTheLocaleUsesItElseA4)
{
    const std::vector<std::pair<const char*, QPageSize::PageSizeId>> locales = {
        {"en_US", QPageSize::Letter}, {"en_CA", QPageSize::Letter}, {"es_MX", QPageSize::Letter},
        {"fr_CA", QPageSize::Letter}, {"en_GB", QPageSize::A4},     {"de_DE", QPageSize::A4},
        {"fr_FR", QPageSize::A4},     {"ja_JP", QPageSize::A4},
    };
    for (const auto& [name, size] : locales)
        EXPECT_EQ(TReportPdf::PageSizeFor(QLocale(QString::fromLatin1(name))), size) << name;
    const std::string path = (Folder / "letter.pdf").string();
    const QByteArray letter = TReportPdf::Render(Widest(), QPageSize::Letter);
    ASSERT_FALSE(letter.isEmpty());
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(letter.data(), 1, static_cast<std::size_t>(letter.size()), file);
    std::fclose(file);
    FILE* info = popen(("pdfinfo '" + path + "'").c_str(), "r");
    char buffer[4096];
    const std::string shown(buffer, std::fread(buffer, 1, sizeof buffer, info));
    pclose(info);
    EXPECT_NE(shown.find("612 x 792 pts (letter)"), std::string::npos) << shown;
}

TEST_F(ReportPdfTest, TimeIsLocalWithItsOffset)
{
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    const std::vector<std::pair<const char*, const char*>> zones = {
        {"UTC0", "2025-12-06T05:46:40+00:00"},
        {"EST5", "2025-12-06T00:46:40-05:00"},
        {"IST-5:30", "2025-12-06T11:16:40+05:30"},
    };
    for (const auto& [zone, shown] : zones) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(TReportPdf::LocalTime(1765000000), shown) << zone;
    }
    if (saved.empty())
        unsetenv("TZ");
    else
        setenv("TZ", saved.c_str(), 1);
    tzset();
}

} // namespace
