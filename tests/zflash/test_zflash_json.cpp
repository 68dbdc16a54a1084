// --json: one document on standard output, nothing else there.
#include <nlohmann/json.hpp>

#include "tests/zflash/test_zflash_support.h"

using nlohmann::json;

TEST_F(ZflashDeviceTest, JsonProgramReportsDeviceImagesInstalledFirmwareAndTimings)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"--json", "program", "--port", Port()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    json doc = json::parse(run.out);  // throws (and fails the test) on anything but one document

    EXPECT_EQ(doc["command"], "program");
    EXPECT_EQ(doc["exitCode"], 0);
    EXPECT_EQ(doc["outcome"], "success");
    EXPECT_TRUE(doc["error"].is_null());
    EXPECT_EQ(doc["device"], json({{"product", "VKT-3"}, {"hw", "VKT3K"}, {"folder", "VKT3/VKT3K"},
                                   {"loaderBaud", 921600}}));
    ASSERT_EQ(doc["images"].size(), 3u);
    EXPECT_EQ(doc["images"][0]["file"], "fw_1_10_0.bin");
    EXPECT_EQ(doc["images"][0]["unverified"], false);
    EXPECT_EQ(doc["images"][2]["file"], "legacy_0_9.bin");
    EXPECT_EQ(doc["images"][2]["unverified"], true);
    EXPECT_EQ(doc["programmed"]["version"], "1.10.0");
    EXPECT_EQ(doc["installed"]["before"],
              json({{"version", "1.0.0"}, {"model", "VKT-3"}, {"hw", "VKT3K"}, {"built", "2026-01-15 10:00"}}));
    EXPECT_EQ(doc["installed"]["after"],
              json({{"version", "1.10.0"}, {"model", "VKT-3"}, {"hw", "VKT3K"}, {"built", "2026-03-01 12:00"}}));
    EXPECT_FALSE(doc.contains("failure"));

    std::vector<std::string> steps;
    for (const json &t : doc["timings"]) {
        steps.push_back(t["step"]);
        EXPECT_GE(t["seconds"].get<double>(), 0.0);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"open", "wait", "identify", "loader", "list", "query",
                                               "readImage", "blankCheck", "erase", "program", "verify",
                                               "query"}));
}

TEST_F(ZflashDeviceTest, JsonKeepsTheLogOffStandardOutputButInTheDocument)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"--json", "--verbose", "capture", "--port", Port()});
    json doc = json::parse(run.out);
    EXPECT_EQ(doc["log"][1], "Waiting for target. Power up the device now...");
    EXPECT_NE(run.err.find("Waiting for target. Power up the device now...\n"), std::string::npos);
    EXPECT_NE(run.err.find("  Target Captured.\n"), std::string::npos);  // the trace, on stderr
}

TEST_F(ZflashDeviceTest, JsonReportsAFailureWithItsExitCodeAndReason)
{
    std::string port = (root / "absent").string();
    ZflashRun run = Zflash({"--json", "capture", "--port", port});
    EXPECT_EQ(run.exitCode, 3);
    json doc = json::parse(run.out);
    EXPECT_EQ(doc["exitCode"], 3);
    EXPECT_EQ(doc["outcome"], "no-device");
    EXPECT_EQ(doc["error"], port + " does not exist. Run \"zflash ports\" to list the serial ports.");
    EXPECT_EQ(doc["failure"]["kind"], "port-open-failed");
    EXPECT_EQ(doc["failure"]["step"], "open");
    EXPECT_EQ(doc["failure"]["file"], port);
}

TEST_F(ZflashDeviceTest, JsonNamesAVerifyMismatchWithItsBlockAndTheDevicesErrorCode)
{
    simOptions.verifyMismatchBlock = 3;
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"--json", "program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 1);
    json doc = json::parse(run.out);
    EXPECT_EQ(doc["failure"]["kind"], "verify-mismatch");
    EXPECT_EQ(doc["failure"]["step"], "verify");
    EXPECT_EQ(doc["failure"]["block"], 3);
    EXPECT_EQ(doc["failure"]["deviceError"], 4);
    EXPECT_EQ(doc["failure"]["detail"], "Operation failed with the following error at block 3: Flash verify error.");
    EXPECT_TRUE(doc["installed"]["after"].is_null());
}
