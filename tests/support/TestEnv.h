// Per-test isolation: every test runs with its own settings directory and its own
// shared-memory name, so that test binaries can run in parallel (ctest -j) and tests
// never see each other's stored settings or device tables.
#pragma once

#include <string>

namespace orvane::test {

// Directory created for the running test (removed when the binary exits).
const std::string& testDir();

// Shared-memory name chosen for the running test.
const std::string& testShmName();

// Sets up a fresh directory and names for the test that is about to run; called by the
// listener installed in the test main, and available to tests that need a second fresh
// environment within one test.
void resetTestEnvironment(const std::string& testName);

// Removes everything created by resetTestEnvironment; called once at exit.
void removeTestRoot();

}  // namespace orvane::test
