// Test main shared by every test binary: installs the per-test environment listener.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestEnv.h"

namespace {

class IsolationListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        orvane::test::resetTestEnvironment(std::string(info.test_suite_name()) + "." + info.name());
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Before any test: the environment of the first test, for code that runs in fixtures'
    // static set-up.
    orvane::test::resetTestEnvironment("setup");
    testing::UnitTest::GetInstance()->listeners().Append(new IsolationListener);
    int rc = RUN_ALL_TESTS();
    if (std::getenv("ORVANE_KEEP_TEST_DIRS") == nullptr) orvane::test::removeTestRoot();
    return rc;
}
