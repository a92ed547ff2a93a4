#pragma once

// Included by a test file whose cases run over the build's tables where the patcher reads them, through the
// process-wide install (profile values, recognition, digests): the tables are installed once, before the first
// case of the test program, as the patcher installs its own at start-up. The program needs the build's data
// (patcher_use_packed_data).

#include <gtest/gtest.h>

#include "tests/support/BuildData.h"

namespace patcher::testing {

class BuildTablesEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override { InstallBuildTables(); }
};

// One environment for the program, however many of its files include this; gtest owns it.
inline ::testing::Environment* const kBuildTablesEnvironment =
    ::testing::AddGlobalTestEnvironment(new BuildTablesEnvironment);

}  // namespace patcher::testing
