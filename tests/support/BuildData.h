#pragma once

// The data of this build that tests run the engine on: the tables and packed data it carries, and the stand-ins
// of every known build of the product files (deterministic, and a moment to make: one set serves a test program).

#include "tables/PatchTablesFormat.h"
#include "platform/ResourceStore.h"
#include "tools/standin/StandinGenerator.h"

#ifndef _WIN32
#include "platform/DirectoryResourceStore.h"
#endif

namespace patcher::testing {

#if defined(_WIN32) || defined(PATCHER_PACKED_DIR)
// The packed data that this build carries: resources of the test program itself on Windows, the build's
// packed-data folder elsewhere (for the test programs that are given it).
inline ResourceStore& BuildResources() {
#ifdef _WIN32
    return ProgramResources();
#else
    static DirectoryResourceStore store(PATCHER_PACKED_DIR);
    return store;
#endif
}

// The build's tables, installed for the whole test program as the patcher installs its own at start-up: the
// first call installs them, every later one finds them there.
inline const PatchTables& InstallBuildTables() {
    static const PatchTables& installed = []() -> const PatchTables& {
        InstallPatchTables(LoadPatchTables(BuildResources()));
        return InstalledPatchTables();
    }();
    return installed;
}
#endif

inline standin::StandinBuilds& Standins() {
    static standin::StandinBuilds builds;
    return builds;
}

}  // namespace patcher::testing
