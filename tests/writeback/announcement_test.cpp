// What a screen reader is told as the window's state moves from one tick to the next.
#include "writeback/announcement.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using State = TAnnouncement::State;

struct Step
{
    State Now;
    const char* Heard;
};

struct Story
{
    const char* Name;
    std::vector<Step> Steps;
};

const QString Ok = QStringLiteral("Device: /dev/ttyUSB0 OK");

class Announcement : public ::testing::TestWithParam<Story>
{
};

TEST_P(Announcement, TellsWhatChangedOnce)
{
    TAnnouncement announcement;
    const State opening{QStringLiteral("Attach device and press Connect"), false, false, {}};
    EXPECT_EQ(announcement.Next(opening), QString()); // the window as it opens
    int step = 0;
    for (const Step& s : GetParam().Steps)
        EXPECT_EQ(announcement.Next(s.Now), QString::fromUtf8(s.Heard)) << "step " << step++;
}

INSTANTIATE_TEST_SUITE_P(
    Stories, Announcement,
    ::testing::Values(
        Story{"ConnectAndRead",
              {{{Ok, true, false, {}}, "Device: /dev/ttyUSB0 OK"},
               {{Ok, true, false, {}}, ""},
               {{Ok, false, false, {}}, "Read finished"}}},
        Story{"ReadLeavesMarks",
              {{{Ok, true, false, {}}, "Device: /dev/ttyUSB0 OK"},
               {{Ok, false, false, QStringLiteral("2 settings not confirmed")},
                "Read finished. 2 settings not confirmed"}}},
        Story{"SaveConfirmsAll",
              {{{Ok, false, false, QStringLiteral("1 setting not confirmed")},
                "Device: /dev/ttyUSB0 OK. 1 setting not confirmed"},
               {{Ok, false, true, QStringLiteral("1 setting not confirmed")}, ""},
               {{Ok, false, false, {}}, "Save finished. All settings confirmed"}}},
        // The status bar pads a failure text; what is read out is the text.
        Story{"ConnectFails",
              {{{QStringLiteral("NOT IDENTIFIED - PLEASE TRY AGAIN "), false, false, {}},
                "NOT IDENTIFIED - PLEASE TRY AGAIN"}}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AnnouncementName, StatusBarNameHoldsTextAndCount)
{
    EXPECT_EQ(TAnnouncement::StatusName({Ok, false, false, {}}),
              QStringLiteral("Status: Device: /dev/ttyUSB0 OK"));
    EXPECT_EQ(
        TAnnouncement::StatusName({Ok, false, false, QStringLiteral("3 settings not confirmed")}),
        QStringLiteral("Status: Device: /dev/ttyUSB0 OK. 3 settings not confirmed"));
}

} // namespace
