// zflash's pure parts: exit codes, the JSON writer, progress texts, port order.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tools/zflash/json_writer.h"
#include "devicelink/ports/ports.h"
#include "station/port_words.h"
#include "tools/zflash/progress_format.h"
#include "tools/zflash/terminal_text.h"
#include "tools/zflash/zflash.h"

namespace {

using nlohmann::json;

TEST(ZflashExitCodes, EachFailureKindEndsInTheDocumentedCode)
{
    EXPECT_EQ(ExitOk, ExitCodeOf(FailureKind::None));
    for (FailureKind k : {FailureKind::PortOpenFailed, FailureKind::Cancelled})
        EXPECT_EQ(ExitNoDevice, ExitCodeOf(k)) << FailureKindName(k);
    for (FailureKind k : {FailureKind::ImageInvalid, FailureKind::LoaderMissing, FailureKind::NoFirmware,
                          FailureKind::WrongHardware})
        EXPECT_EQ(ExitBadInput, ExitCodeOf(k)) << FailureKindName(k);
    for (FailureKind k : {FailureKind::NoAnswer, FailureKind::DeviceRefused, FailureKind::VerifyMismatch,
                          FailureKind::UnknownDevice, FailureKind::Interrupted, FailureKind::Internal})
        EXPECT_EQ(ExitFailed, ExitCodeOf(k)) << FailureKindName(k);
    EXPECT_EQ(ExitUnverified, ExitCodeOf(FailureKind::Unverifiable));
    EXPECT_STREQ("unverified-refused", OutcomeName(ExitUnverified));
    EXPECT_STREQ("unknown", OutcomeName(99));
}

TEST(ZflashJson, AFailedSessionNamesItsDeviceInstalledFirmwareAndFailure)
{
    DeviceResult device;
    device.port = "/dev/ttyUSB0";
    device.device = DeviceEntry{"VKT-3", "VKT3K", "VKT3/VKT3K", 921600};
    device.before = FirmwareInfo{"1.0.0", "VKT-3", "VKT3K", "2026-01-15 10:00"};
    device.failure.kind = FailureKind::VerifyMismatch;
    device.failure.step = WorkStep::Verify;
    device.failure.block = 7;
    device.failure.deviceError = 4;
    device.timings = {{WorkStep::OpenPort, 0.5}, {WorkStep::BlankCheck, 0.25}};
    CommandResult result;
    result.command = "program";
    result.exitCode = ExitFailed;
    result.error = "Verification failed.";
    result.body = device;

    const json doc = ToJson(result);

    EXPECT_EQ("failed", doc["outcome"]);
    EXPECT_EQ(1, doc["exitCode"]);
    EXPECT_EQ("/dev/ttyUSB0", doc["port"]);
    EXPECT_EQ(921600, doc["device"]["loaderBaud"]);
    EXPECT_EQ("1.0.0", doc["installed"]["before"]["version"]);
    EXPECT_EQ("2026-01-15 10:00", doc["installed"]["before"]["built"]);
    EXPECT_TRUE(doc["installed"]["after"].is_null());
    EXPECT_EQ("verify-mismatch", doc["failure"]["kind"]);
    EXPECT_EQ("verify", doc["failure"]["step"]);
    EXPECT_EQ(7, doc["failure"]["block"]);
    EXPECT_EQ(4, doc["failure"]["deviceError"]);
    EXPECT_EQ(json::array({{{"step", "open"}, {"seconds", 0.5}}, {{"step", "blankCheck"}, {"seconds", 0.25}}}),
              doc["timings"]);
    EXPECT_EQ("Verification failed.", doc["error"]);
}

TEST(ZflashJson, ASessionThatNeverReachedADeviceHasNoDeviceOrFailureDetailsToInvent)
{
    DeviceResult device;
    device.port = "COM3";
    device.failure.kind = FailureKind::PortOpenFailed;
    CommandResult result;
    result.body = device;

    const json doc = ToJson(result);

    EXPECT_FALSE(doc.contains("device"));
    EXPECT_FALSE(doc.contains("installed"));
    EXPECT_TRUE(doc["failure"]["block"].is_null());
    EXPECT_TRUE(doc["failure"]["deviceError"].is_null());
    EXPECT_TRUE(doc["error"].is_null());
}

TEST(ZflashJson, AnInvalidImageCarriesItsReasonAndNoFigures)
{
    InspectResult inspected;
    inspected.images.push_back({"a.bin", false, "The Zelvo Image File appears to be corrupt.", "", 0, 0, 0, 0, 0});
    CommandResult result;
    result.body = inspected;
    const json image = ToJson(result)["images"][0];
    EXPECT_EQ(json({{"file", "a.bin"}, {"valid", false}, {"reason", "The Zelvo Image File appears to be corrupt."}}),
              image);
}

TEST(ZflashProgressText, BarsAndFiguresKeepTheirWidthAtTheEnds)
{
    EXPECT_EQ("[          ]", FormatBar(-5, 10));
    EXPECT_EQ("[#####     ]", FormatBar(50, 10));
    EXPECT_EQ("[##########]", FormatBar(140, 10));
    EXPECT_EQ("130.0 kB", FormatKilobytes(130000));
    EXPECT_EQ("59.9 s", FormatSeconds(59.94));
    EXPECT_EQ("1:05", FormatSeconds(65));
    EXPECT_EQ("1:02:03", FormatSeconds(3723));
}

TEST(ZflashProgressText, ThroughputAndTimeLeftAppearOnceThereIsSomethingToMeasure)
{
    ProgressFigures f{50, 100000, 0.01};
    EXPECT_EQ("Programming          [##########          ]  50%  50.0/100.0 kB", LiveProgressLine("Programming", f));
    f.seconds = 5;
    EXPECT_EQ("Programming          [##########          ]  50%  50.0/100.0 kB  10.0 kB/s  ETA 5.0 s",
              LiveProgressLine("Programming", f));
    f.percent = 100;
    f.seconds = 10;
    EXPECT_EQ("Verifying: 100% (100.0 of 100.0 kB, 10.0 kB/s)", PlainProgressLine("Verifying", f));
    EXPECT_EQ("Erasing: 30%", PlainProgressLine("Erasing", ProgressFigures{30, 0, 1}));
}

TEST(ZflashPortOrder, DigitRunsCompareByValue)
{
    std::vector<std::string> ports = {"COM10", "ttyUSB1", "COM2", "COM02", "ttyS10", "ttyS2", "COM1"};
    std::stable_sort(ports.begin(), ports.end(), NaturalLess);  // COM2 and COM02 tie
    EXPECT_EQ((std::vector<std::string>{"COM1", "COM2", "COM02", "COM10", "ttyS2", "ttyS10", "ttyUSB1"}), ports);
    EXPECT_FALSE(NaturalLess("COM2", "COM02"));
    EXPECT_FALSE(NaturalLess("COM02", "COM2"));
}

}  // namespace

namespace {

TEST(ZflashTerminalText, ControlsFromDevicesAndFilesAreShownNotObeyed)
{
    EXPECT_EQ("v1.0\\x1b[2J", TerminalSafe("v1.0\x1b[2J"));
    EXPECT_EQ("a\\x0dProgramming complete.", TerminalSafe("a\rProgramming complete."));
    EXPECT_EQ("two\\x0alines", TerminalSafe("two\nlines"));
    EXPECT_EQ("del\\x7f bell\\x07", TerminalSafe("del\x7f bell\x07"));
    EXPECT_EQ("csi \\u009b", TerminalSafe("csi \xC2\x9B"));
    EXPECT_EQ("tab\tPr\xC3\xBC" "f \xE2\x82\xAC", TerminalSafe("tab\tPr\xC3\xBC" "f \xE2\x82\xAC"));
    EXPECT_EQ("bad \\xff\\xc3", TerminalSafe("bad \xFF\xC3"));
    EXPECT_EQ("overlong \\xe0\\x80\\xaf", TerminalSafe("overlong \xE0\x80\xAF"));
}

TEST(ZflashTerminalText, TheTraceKeepsItsOwnLineControlsOnly)
{
    EXPECT_EQ("    50%\r", TerminalSafeTrace("    50%\r"));
    EXPECT_EQ("VN:1.0\nMD:VKT-3\n", TerminalSafeTrace("VN:1.0\r\nMD:VKT-3\r\n"));
    EXPECT_EQ("x\\x0dProgramming complete.\n", TerminalSafeTrace("x\rProgramming complete.\n"));
    EXPECT_EQ("\\x1b[2J\n", TerminalSafeTrace("\x1b[2J\n"));
}

TEST(ZflashPortHints, AGroupIsNamedOnlyWhenItMayUseThePort)
{
    EXPECT_EQ("no permission to open /dev/ttyUSB0. Add yourself to the dialout group (sudo usermod -aG "
              "dialout $USER), then log in again.",
              PermissionHint("/dev/ttyUSB0", "dialout"));
    for (const char *group : {"", "root"})
        EXPECT_EQ(std::string::npos, PermissionHint("/dev/ttyUSB0", group).find("usermod")) << group;
}

}  // namespace
