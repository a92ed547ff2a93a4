#pragma once

// The data of this build that tests run the engine on: the tables and packed data it carries, and the stand-ins
// of every known build of the product files (deterministic, and a moment to make: one set serves a test program).

#include "platform/ResourceStore.h"
#include "tables/PatchTablesFormat.h"
#include "tools/pe/PeResourceStore.h"
#include "tools/standin/StandinGenerator.h"

namespace patcher::testing {

#ifdef PATCHER_BUILD_PATCHER
// The tables and packed data of the build's English patcher, which patchkit made from a stub: read from the
// exe on any host (the test programs that are given its place: patcher_use_build_patcher).
inline ResourceStore& BuildResources() {
    static const std::unique_ptr<pe::PeResourceStore> store = pe::PeResourceStore::FromFile(PATCHER_BUILD_PATCHER);
    return *store;
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
