// The query worker against the simulated device's flash loader.
#include "tests/workflow/workflow_fixture.h"

namespace {

const char *const kQueryFailed =
    "    ERROR: Could not query installed firmware (device not responding or flashloader not running).";

class QueryWorkflow : public WorkflowFixture {
protected:
    // Changes what the device holds as installed firmware information.
    void Install(const std::string &info)
    {
        simOptions.installedInfo = info;
        sim->SetOptions(simOptions);
    }
};

TEST_F(QueryWorkflow, FullInformationGivesVersionLabelAndBuildTime)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    Install("VN:1.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-01-15 10:00\r\n");

    RunQuery();

    const std::string summary = "v1.0.0   VKT-3 (VKT3K)   built 2026-01-15 10:00";
    const std::vector<std::string> expected = {"Querying installed firmware...", "    " + summary};
    EXPECT_EQ(expected, recorder.LogLines());
    const PostedMessage done = CompletionOf(WM_APP_QUERY_DONE);
    EXPECT_EQ(1u, done.wParam);
    ASSERT_TRUE(done.hasText);
    EXPECT_EQ(summary, done.text);
}

TEST_F(QueryWorkflow, MissingVersionReadsUnknownVersion)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    Install("MD:VKT-3\r\nTS:2026-01-15 10:00\r\n");

    RunQuery();

    EXPECT_EQ("unknown version   VKT-3   built 2026-01-15 10:00", CompletionOf(WM_APP_QUERY_DONE).text);
}

TEST_F(QueryWorkflow, NoneOfTheTokensGivesOnlyUnknownVersion)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    Install("XX:something\r\n");

    RunQuery();

    EXPECT_EQ("    unknown version", LastLine());
    EXPECT_EQ("unknown version", CompletionOf(WM_APP_QUERY_DONE).text);
}

TEST_F(QueryWorkflow, ABlankFirmwareRegionReadsNoFirmwareInstalledWithoutAnError)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    Install("");  // the device answers "No string data"

    RunQuery();

    const std::vector<std::string> expected = {"Querying installed firmware...", "    no firmware installed"};
    EXPECT_EQ(expected, recorder.LogLines());
    const PostedMessage done = CompletionOf(WM_APP_QUERY_DONE);
    EXPECT_EQ(1u, done.wParam);
    EXPECT_EQ("no firmware installed", done.text);
    EXPECT_TRUE(IsEmpty(g_outcome.installed));
}

TEST_F(QueryWorkflow, NoAnswerLogsTheIndentedErrorAndKeepsThePortOpen)
{
    ASSERT_NO_FATAL_FAILURE(CaptureDevice());
    SimFault silent;
    silent.kind = SimFault::DropReply;
    silent.command = 4;
    silent.count = -1;
    simOptions.faults.push_back(silent);
    sim->SetOptions(simOptions);

    RunQuery();

    EXPECT_EQ(kQueryFailed, LastLine());
    const PostedMessage done = CompletionOf(WM_APP_QUERY_DONE);
    EXPECT_EQ(0u, done.wParam);
    EXPECT_EQ(0, done.lParam);
    EXPECT_TRUE(HostPortOpen());
    EXPECT_TRUE(g_portOpen);
    EXPECT_EQ(FailureKind::NoAnswer, g_outcome.failure.kind);
    EXPECT_EQ(WorkStep::Query, g_outcome.failure.step);
    EXPECT_EQ("Could not query installed firmware (device not responding or flashloader not running).",
              g_outcome.failure.message);
    EXPECT_EQ("No response from target.", g_outcome.failure.detail);
}

TEST_F(QueryWorkflow, ClosedPortCountsAsNoAnswer)
{
    RunQuery();

    EXPECT_EQ(kQueryFailed, LastLine());
    EXPECT_EQ(0u, CompletionOf(WM_APP_QUERY_DONE).wParam);
    EXPECT_EQ(FailureKind::NoAnswer, g_outcome.failure.kind);
    EXPECT_TRUE(IsEmpty(g_outcome.installed));
}

}  // namespace
