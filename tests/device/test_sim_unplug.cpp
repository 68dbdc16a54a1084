// The USB adapter pulled and plugged back, seen from the host: its open port
// hangs up, the link goes and comes back under the same name, and the unit
// in the fixture runs on as it was (a running flash loader does not announce).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "targetlib/transact.h"
#include "tests/support/target_harness.h"

namespace {

namespace fs = std::filesystem;

const std::string kNewInfo = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\n";

IMG Firmware()
{
    IMG img;
    img.info = kNewInfo;
    img.blocks = SplitIntoBlocks(kNewInfo + '\0' + std::string(1500, '\x5C'), 256);
    return img;
}

class UnplugTest : public SimTargetTest {
protected:
    void TearDown() override
    {
        SimTargetTest::TearDown();
        fs::remove(link);
    }

    // A device on the link, the port open on it, captured, its flash loader
    // running at 921600.
    void StartLoader(SimOptions options)
    {
        options.linkPath = link.string();
        options.announceGapMs = 10;
        options.eraseMs = 1;
        Connect(options);
        IMG loader = LoaderImage(921600);
        bool started = false;
        Printed([&] { started = RAMExec(&loader, false, 921600); });
        ASSERT_TRUE(started);
    }

    // The host closes its failed port and opens the link again at the loader's rate.
    bool Reopen()
    {
        bool opened = false;
        Printed([&] {
            ClosePort();
            opened = OpenPort(link.string().c_str()) && Port.SetBaudRate(921600) == 0;
        });
        return opened;
    }

    fs::path link = fs::temp_directory_path() /
                    ("zf_sim_unplug_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

TEST_F(UnplugTest, ThePortHangsUpAndComesBackUnderItsNameWithTheUnitAsItWas)
{
    StartLoader(SimOptions());
    const int raw = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(raw, 0);

    ASSERT_TRUE(sim->UnplugAdapter(-1));
    EXPECT_FALSE(sim->AdapterPlugged());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    pollfd p{raw, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    close(raw);
    std::string hw = "unchanged";
    Printed([&] { hw = Query("HW"); });
    EXPECT_EQ(hw, "");
    EXPECT_EQ(LastError(), 2);

    ASSERT_TRUE(sim->PlugAdapterBack());
    EXPECT_TRUE(fs::is_symlink(link));
    ASSERT_TRUE(Reopen());
    Printed([&] { hw = Query("HW"); });
    EXPECT_EQ(hw, "VKT3K");
    EXPECT_TRUE(sim->LoaderRunning());
    const SimFixtureStats f = sim->Fixture();
    EXPECT_EQ(f.unplugs, 1u);
    EXPECT_TRUE(f.adapterPlugged);
    EXPECT_EQ(f.units[0].powerUps, 1u) << "the fixture powered the unit all along";
}

TEST_F(UnplugTest, AnUnplugInTheMiddleOfProgrammingIsCuredByProgrammingAgain)
{
    SimOptions options;
    options.faults.push_back({SimFault::Unplug, CmdProgramAlt, 2, 1, 100});
    StartLoader(options);
    IMG firmware = Firmware();
    bool done = true;
    Printed([&] { done = EraseFlash(2) && ProgramFlash(&firmware); });
    EXPECT_FALSE(done);
    EXPECT_EQ(LastErrorBlock(), 2);

    ASSERT_TRUE(Eventually([&] { return sim->AdapterPlugged(); }));
    ASSERT_TRUE(Reopen());
    Printed([&] { done = EraseFlash(2) && ProgramFlash(&firmware) && VerifyFlash(&firmware); });
    EXPECT_TRUE(done);
    EXPECT_EQ(sim->InstalledInfo(), kNewInfo);
    const SimFixtureStats f = sim->Fixture();
    EXPECT_EQ(f.unplugs, 1u);
    EXPECT_EQ(f.units[0].programPasses, 2u);
}

TEST_F(UnplugTest, WithoutALinkThereIsNoAdapterToPull)
{
    StartSim();
    EXPECT_FALSE(sim->UnplugAdapter(10));
    EXPECT_FALSE(sim->PlugAdapterBack());
    EXPECT_TRUE(sim->AdapterPlugged());
    EXPECT_EQ(sim->Fixture().unplugs, 0u);
}
