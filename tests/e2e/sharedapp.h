// A suite whose tests run in order against one running program: started
// before the first test, ended after the last. Each suite that derives from
// it (SharedAppSuite<TheSuite>) has its own program.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/e2e/appsession.h"

template <class Suite>
class SharedAppSuite : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(Config().appExe.empty()) << "ZF_E2E_APP is not set";
        app.reset(new AppSession);
        ASSERT_TRUE(app->Launch(Config().appExe)) << "the main window did not appear";
    }
    static void TearDownTestSuite() { app.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(app && app->Main()) << "the program did not start";
    }

    static std::unique_ptr<AppSession> app;
};

template <class Suite>
std::unique_ptr<AppSession> SharedAppSuite<Suite>::app;
