// Settings files: what survives a round trip byte for byte, and every way a file is refused.
#include "driver/linejudge.h"
#include "driver/settingkeys.h"
#include "settingsfile/settingsfile.h"
#include "settingsfile/showntext.h"
#include "sim/instrumentsettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = fs::temp_directory_path() /
                 ("settingsfile_test." +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "." +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override { fs::remove_all(Folder); }

    fs::path Folder;
};

// The longest value that S0NAM may carry: 0x02 excluded, "S0NAM=" value CR LF is 255 bytes.
const std::string LongestName(255 - 6 - 2, 'x');

} // namespace

TEST(SettingKeysTest, AgreeWithTheInstrumentAndFindEveryKey)
{
    const auto& keys = TSettingKeys::All();
    ASSERT_EQ(keys.size(), TInstrumentSettings::Keys().size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].Key, TInstrumentSettings::Keys()[i]);
        EXPECT_EQ(TSettingKeys::IndexOf(keys[i].Key), static_cast<int>(i));
    }
    EXPECT_EQ(keys[159].Col, 8); // S19THSEL: sensor row 20, column 8
    EXPECT_EQ(keys[159].Row, 20);
    EXPECT_EQ(keys[180].Col, 7);
    EXPECT_EQ(keys[180].Row, 3);
    for (const char* unknown : {"S20NAM", "TH3NAM", "s0NAM", "S0NAM ", ""})
        EXPECT_EQ(TSettingKeys::IndexOf(unknown), -1) << unknown;
}

TEST_F(SettingsFileTest, AwkwardValuesComeBackByteForByte)
{
    const SettingList settings = {
        {"S0NAM", "  blanks around  "}, {"S0FRP", "a=b=c"},
        {"S0THSEL", "#not a comment"},  {"S1NAM", ""},
        {"S1FRP", "caf\xE9 \xFF\xA0"},  {"S0CAL1", " -1.25E-03 "},
        {"S0NAM", LongestName},
    };
    // Each value on its own, so S0NAM may appear twice across the cases.
    for (const TSettingValue& setting : settings) {
        TSettingsFileHeader header;
        header.Device = "/dev/pts/7";
        const fs::path path = Folder / "one.txt";
        ASSERT_EQ(TSettingsFile::Write(path.string(), {setting}, header), std::nullopt)
            << setting.Key;
        const std::string written = Slurp(path);
        const TSettingsFileResult read = TSettingsFile::Read(path.string());
        ASSERT_TRUE(read.Ok()) << read.Message();
        EXPECT_EQ(read.Settings, SettingList{setting});
        ASSERT_EQ(TSettingsFile::Write(path.string(), read.Settings, header), std::nullopt);
        EXPECT_EQ(Slurp(path), written);
    }
}

TEST_F(SettingsFileTest, AWrittenFileHoldsItsHeaderThenEveryKeyInOrder)
{
    SettingList all;
    for (const TSettingKey& key : TSettingKeys::All())
        all.push_back({key.Key, TLineJudge::HoldsNumber(key.Key)
                                    ? "1.5E+0" + std::to_string(key.Row % 10)
                                    : "v" + key.Key});
    TSettingsFileHeader header;
    header.Device = "/dev/ttyUSB0";
    header.ReadAt = 86400;
    header.Notes = {"two\nlines"};
    const fs::path path = Folder / "all.txt";
    ASSERT_EQ(TSettingsFile::Write(path.string(), all, header), std::nullopt);
    const std::string text = Slurp(path);
    EXPECT_EQ(text.substr(0, text.find("S0NAM=")),
              "# devconfig settings: one KEY=VALUE per line, UTF-8\n"
              "# Read from /dev/ttyUSB0 at 1970-01-02 00:00:00 UTC\n"
              "# two\n# lines\n");
    EXPECT_EQ(TSettingsFile::Read(path.string()).Settings, all);
    // Only the target is left in the folder: the temporary file was renamed over it.
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 1);
}

TEST(SettingsFileParseTest, LineEndsCommentsAndSubsets)
{
    const struct
    {
        const char* Text;
        SettingList Expected;
    } cases[] = {
        {"S0NAM=a\r\nS0FRP=b\r\n", {{"S0NAM", "a"}, {"S0FRP", "b"}}},
        {"S0NAM=no line end", {{"S0NAM", "no line end"}}},
        {"\xEF\xBB\xBFS0NAM=after a byte order mark\n", {{"S0NAM", "after a byte order mark"}}},
        {"# comment=x\n\n  \nTH2STD=1\n#S0NAM=2\n", {{"TH2STD", "1"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        const TSettingsFileResult result = TSettingsFile::Parse("f", c.Text);
        EXPECT_EQ(result.Settings, c.Expected) << c.Text;
    }
}

TEST(SettingsFileParseTest, ABadLineRefusesTheWholeFile)
{
    const std::string good = "S0NAM=fine\nS0FRP=1\n";
    const struct
    {
        std::string Line;
        const char* Reason;
    } cases[] = {
        {"S20NAM=1", "unknown key \"S20NAM\""},
        {"S0NAM =1", "a blank next to the key S0NAM: remove it"},
        {"\x1B[2JS0NAM=1", "unknown key \"\\x1B[2JS0NAM\""}, // shown, not acted on
        {"S0NAM=again", "the key S0NAM is given a second time"},
        {"S0CFRQ", "has no \"=\""},
        {"S0CFRQ=a\tb", "a tab"},
        {"S0CFRQ=a\x7F", "0x7F"},
        {"S0CFRQ=a\xC2\x85", "0x85"}, // a Latin-1 control, well encoded
        {"S0CFRQ=\xE2\x82\xAC", "U+20AC"},
        {"S0CFRQ=\xFF", "not UTF-8"},
        {"S0CFRQ=\xC0\x80", "not UTF-8"},  // an over-long NUL
        {"S0CFRQ=\xE9t\xE9", "not UTF-8"}, // Latin-1 bytes rather than UTF-8
        {"S1NAM=" + LongestName + "x", "too long"},
        {"S1NAM=" + std::string(1100, 'x'), "the line is 1106 bytes long"},
        {std::string(1000, 'K') + "=1", "... (cut; 1000 bytes in all)"},
    };
    for (const auto& c : cases) {
        const TSettingsFileResult result =
            TSettingsFile::Parse("cfg.txt", good + c.Line + "\nS0CAL0=2\n");
        EXPECT_FALSE(result.Ok()) << c.Line;
        EXPECT_TRUE(result.Settings.empty()) << c.Line;
        EXPECT_EQ(result.Line, 3) << c.Line;
        EXPECT_NE(result.Reason.find(c.Reason), std::string::npos) << result.Reason;
        EXPECT_EQ(result.Message().rfind("cfg.txt, line 3: ", 0), 0u) << result.Message();
    }
}

TEST(SettingsFileParseTest, LineEndsAndEncodings)
{
    const struct
    {
        std::string Text;
        std::size_t Settings;
        const char* Reason; // empty: the file is taken
    } cases[] = {
        {"S0NAM=a\rS0FRP=1\r", 2, ""},
        {"# mixed\rS0NAM=a\r\nS0FRP=1\nS0CAL0=2", 3, ""},
        {std::string("\xFF\xFES\0=\0", 6), 0, "UTF-16"},
        {std::string("\xFF\xFE\0\0S\0\0\0", 8), 0, "UTF-32"},
        {std::string("S\0\x30\0", 4), 0, "NUL bytes"},
    };
    for (const auto& c : cases) {
        const TSettingsFileResult result = TSettingsFile::Parse("f", c.Text);
        EXPECT_NE(result.Reason.find(c.Reason), std::string::npos) << result.Reason;
        EXPECT_EQ(result.Ok(), c.Reason[0] == '\0') << c.Text;
        EXPECT_EQ(result.Settings.size(), c.Settings) << c.Text;
    }
}

TEST(SettingsFileReadTest, AnEndlessFileIsRefusedAtTheLimit)
{
    const TSettingsFileResult result = TSettingsFile::Read("/dev/zero");
    EXPECT_NE(result.Reason.find("larger than 1 MB"), std::string::npos) << result.Reason;
}

TEST_F(SettingsFileTest, AFailedWriteLeavesTheTargetAsItWas)
{
    const fs::path path = Folder / "kept.txt";
    std::ofstream(path) << "S0NAM=old\n";
    const struct
    {
        std::string Target;
        SettingList Settings;
    } cases[] = {
        {path.string(), {{"S0NAM", "tab\there"}}},
        {path.string(), {{"S0NAM", "a"}, {"S0NAM", "b"}}},
        {path.string(), {{"X1", "a"}}},
        {(Folder / "missing" / "f.txt").string(), {{"S0NAM", "a"}}},
    };
    for (const auto& c : cases) {
        EXPECT_NE(TSettingsFile::Write(c.Target, c.Settings, {}), std::nullopt) << c.Target;
        EXPECT_EQ(Slurp(path), "S0NAM=old\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 1);
    EXPECT_FALSE(TSettingsFile::Read((Folder / "none.txt").string()).Ok());
    EXPECT_FALSE(TSettingsFile::Read(Folder.string()).Ok());
}

TEST_F(SettingsFileTest, ReplacingFollowsLinksKeepsTheFileAndClearsStaleTemporaries)
{
    const fs::path target = Folder / "kept.txt";
    const fs::path link = Folder / "link.txt";
    std::ofstream(target) << "S0NAM=old\n";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(target.c_str(), 1234, 1235), 0);
    }
    fs::create_symlink("kept.txt", link);
    const pid_t gone = fork(); // a process that has ended: its temporary file is stale
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    const fs::path stale = Folder / ("kept.txt.tmp." + std::to_string(gone) + ".0");
    std::ofstream(stale) << "S0NAM=half";

    ASSERT_EQ(TSettingsFile::Write(link.string(), {{"S0NAM", "new"}}, {}), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TSettingsFile::Read(target.string()).Settings, (SettingList{{"S0NAM", "new"}}));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat owner = {};
    ASSERT_EQ(stat(target.c_str(), &owner), 0);
    if (root) {
        EXPECT_TRUE(owner.st_uid == 1234 && owner.st_gid == 1235);
    }
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_NE(TSettingsFile::Write("/dev/null", {}, {}).value_or("").find("not a regular file"),
              std::string::npos);
}

TEST(ShownTextTest, NothingActsOnTheTerminal)
{
    const struct
    {
        std::string Text;
        std::string Shown;
    } cases[] = {
        {"S0NAM = a\\b", "S0NAM = a\\b"},
        {"\x1B]0;title\x07", "\\x1B]0;title\\x07"},
        {"a\nb\r\x7F", "a\\x0Ab\\x0D\\x7F"},
        {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"\xC2\x9B"
         "2J",
         "\\xC2\\x9B2J"}, // a C1 control, well encoded
        {"\xFF\xC0\x80", "\\xFF\\xC0\\x80"},
        {std::string(203, 'x'), std::string(200, 'x') + "... (cut; 203 bytes in all)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TShownText::Of(c.Text), c.Shown);
}
