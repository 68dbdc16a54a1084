// The window's layout on other DPIs and the port it selects, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dpiscale.h"
#include "app/portchoice.h"

TEST(WindowLayoutRules, ValuesScaleFrom96DpiToTheNearestPixel)
{
    const struct {
        int value;
        unsigned dpi;
        int scaled;
    } cases[] = {
        {609, 96, 609}, {609, 144, 914}, {412, 144, 618}, {85, 144, 128}, {95, 120, 119},
        {-12, 96, -12}, {-12, 144, -18}, {-12, 120, -15}, {-11, 144, -17}, {14, 192, 28}, {0, 144, 0},
        {1, 144, 2},    {1, 120, 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ScaleFrom96(c.value, c.dpi), c.scaled) << c.value << " at " << c.dpi;
}

TEST(WindowLayoutRules, BoxesKeepTheirEdgesSoNeighboursStillTouch)
{
    // The port list (85, 10, 95 wide) and Refresh right of it (186): at 144
    // DPI each edge rounds on its own.
    const ScaledBox ports = ScaleBoxFrom96(85, 10, 95, 200, 144);
    const ScaledBox refresh = ScaleBoxFrom96(186, 10, 64, 24, 144);
    EXPECT_EQ(ports.x, 128);
    EXPECT_EQ(ports.width, 142);  // 270 - 128
    EXPECT_EQ(refresh.x, 279);
    EXPECT_EQ(refresh.width, 96);
    // The log (10..599) and the progress bar below it line up at any DPI.
    for (unsigned dpi : {96u, 120u, 144u, 168u, 192u}) {
        const ScaledBox log = ScaleBoxFrom96(10, 230, 589, 150, dpi);
        const ScaledBox bar = ScaleBoxFrom96(10, 388, 589, 14, dpi);
        EXPECT_EQ(log.x + log.width, bar.x + bar.width) << dpi;
        EXPECT_EQ(log.x, bar.x) << dpi;
    }
    const ScaledBox same = ScaleBoxFrom96(499, 44, 100, 24, 96);
    EXPECT_EQ(std::vector<int>({same.x, same.y, same.width, same.height}), std::vector<int>({499, 44, 100, 24}));
}

TEST(WindowLayoutRules, ThePortListSelectsTheFirstPreferredPortThatIsListed)
{
    const std::vector<std::string> ports = {"COM1", "COM5", "COM6"};
    const struct {
        std::vector<std::string> preferred;
        int index;
    } cases[] = {
        {{}, 0},
        {{"COM6"}, 2},
        {{"", "COM5"}, 1},
        {{"COM9", "COM5"}, 1},
        {{"COM6", "COM5"}, 2},
        {{"COM9"}, 0},
        {{"com5"}, 0},  // names are compared as the system lists them
    };
    for (const auto &c : cases)
        EXPECT_EQ(ChoosePort(ports, c.preferred), c.index) << ::testing::PrintToString(c.preferred);
    EXPECT_EQ(ChoosePort({}, {"COM5"}), -1);
}
