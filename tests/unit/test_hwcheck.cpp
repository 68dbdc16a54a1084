#include <gtest/gtest.h>

#include "catalogue/hwcheck.h"

namespace {

FirmwareVersion Image(const std::string &model, const std::string &hw)
{
    FirmwareVersion fw;
    fw.model = model;
    fw.hw = hw;
    fw.hasHW = !hw.empty();
    return fw;
}

struct Vkt3K {
    Product product{"VKT-3",
                    {{"VKT3", 1, "VKT3/VKT3", "flashloader.img"},
                     {"VKT3K", 8, "VKT3/VKT3K", "vkt3_flash_v1_0_4.img"}}};
    const HWOption &option = product.options[1];
};

}  // namespace

TEST(ModelHW, WritesModelAndHardwareTogether)
{
    EXPECT_EQ(ModelHW("VKT-3", "VKT3K"), "VKT-3 (VKT3K)");
    EXPECT_EQ(ModelHW("VKT-3", ""), "VKT-3");
    EXPECT_EQ(ModelHW("", "VKT3K"), "(VKT3K)");
    EXPECT_EQ(ModelHW("", ""), "");
}

TEST(ModelHW, UsesTextsVerbatim)
{
    EXPECT_EQ(ModelHW(" vkt-3 ", "vkt3k\r"), " vkt-3  (vkt3k\r)");
}

TEST(CheckFirmwareHW, MatchingModelAndHardwareGiveZero)
{
    Vkt3K dev;
    std::string message = "old";
    EXPECT_EQ(CheckFirmwareHW(Image("VKT-3", "VKT3K"), dev.product, dev.option, message), HWMatch);
    EXPECT_EQ(message, "Image matches the connected VKT-3 (VKT3K).");
}

TEST(CheckFirmwareHW, WithoutModelOnlyHardwareIsCompared)
{
    Vkt3K dev;
    std::string message = "old";
    EXPECT_EQ(CheckFirmwareHW(Image("", "VKT3K"), dev.product, dev.option, message), 0);
    EXPECT_EQ(message, "Image matches the connected VKT-3 (VKT3K).");
}

TEST(CheckFirmwareHW, OtherHardwareGivesOne)
{
    Vkt3K dev;
    std::string message = "old";
    EXPECT_EQ(CheckFirmwareHW(Image("", "VKT3"), dev.product, dev.option, message), HWMismatch);
    EXPECT_EQ(message, "This firmware is for (VKT3), but the connected device is VKT-3 (VKT3K). "
                       "It cannot be programmed onto this device.");
}

TEST(CheckFirmwareHW, DeclaredModelMustBeTheProductName)
{
    Vkt3K dev;
    std::string message;
    EXPECT_EQ(CheckFirmwareHW(Image("VKT-3W", "VKT3K"), dev.product, dev.option, message), 1);
    EXPECT_EQ(message, "This firmware is for VKT-3W (VKT3K), but the connected device is VKT-3 "
                       "(VKT3K). It cannot be programmed onto this device.");
}

TEST(CheckFirmwareHW, ComparesCaseAndSpacesExactly)
{
    Vkt3K dev;
    std::string message;
    EXPECT_EQ(CheckFirmwareHW(Image("VKT-3", "vkt3k"), dev.product, dev.option, message), 1);
    EXPECT_EQ(message, "This firmware is for VKT-3 (vkt3k), but the connected device is VKT-3 "
                       "(VKT3K). It cannot be programmed onto this device.");
    EXPECT_EQ(CheckFirmwareHW(Image("VKT-3", "VKT3K "), dev.product, dev.option, message), 1);
    EXPECT_EQ(CheckFirmwareHW(Image("vkt-3", "VKT3K"), dev.product, dev.option, message), 1);
}

TEST(CheckFirmwareHW, NoHardwareIdentifierGivesTwoWhateverTheModel)
{
    Vkt3K dev;
    const std::string want = "This firmware image has no hardware identifier embedded (older "
                             "build). Compatibility with VKT-3 (VKT3K) cannot be verified "
                             "automatically.";
    for (const char *model : {"", "VKT-3", "VKT-Q1"}) {
        std::string message = "old";
        EXPECT_EQ(CheckFirmwareHW(Image(model, ""), dev.product, dev.option, message), HWUnknown);
        EXPECT_EQ(message, want) << model;
    }
}

TEST(CheckFirmwareHW, FlagDecidesNotTheText)
{
    // The hasHW flag is what marks an image as carrying an identifier.
    Vkt3K dev;
    FirmwareVersion fw = Image("VKT-3", "VKT3K");
    fw.hasHW = false;
    std::string message;
    EXPECT_EQ(CheckFirmwareHW(fw, dev.product, dev.option, message), 2);
}
