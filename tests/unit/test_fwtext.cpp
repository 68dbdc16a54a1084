#include <gtest/gtest.h>

#include "app/fwtext.h"

TEST(FirmwareListEntry, NamesTheFileThenTheVersionThenTheUnverifiedMark)
{
    FirmwareVersion fw;
    fw.fileName = "fw.bin";
    EXPECT_EQ(FirmwareListEntry(fw), "fw.bin  [unverified]");
    fw.version = "1.2";
    fw.hw = "VKT3K";
    fw.hasHW = true;
    EXPECT_EQ(FirmwareListEntry(fw), "fw.bin  (v1.2)");
}

TEST(ProgrammingLogLine, AddsTheVersionAndTheCustomMarkOnlyWhenThere)
{
    FirmwareVersion fw;
    fw.fileName = "hotfix.bin";
    EXPECT_EQ(ProgrammingLogLine(fw, false), "Programming hotfix.bin...");
    fw.version = "2.0.1";
    EXPECT_EQ(ProgrammingLogLine(fw, true), "Programming hotfix.bin (version 2.0.1) [custom]...");
}
