#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/FileBytes.h"

namespace patcher::testing {

// A stub program that MinGW built from ExitStub.cpp and ExitStub.rc for these tests: its manifest, an
// RCDATA "EXITCODE" of 7 and the English patcher's version information, then relocations after its
// resources, as MinGW's linker lays them out.
struct StubProgram {
    std::filesystem::path Path;
    std::vector<std::uint8_t> Bytes;
};

// The stubs of this build: one per processor on the host, this build's own on Windows.
inline std::vector<StubProgram> StubPrograms() {
    std::vector<StubProgram> stubs;
    std::string_view paths = PATCHER_PE_STUBS;  // separated by '|'
    while (!paths.empty()) {
        const std::size_t end = std::min(paths.find('|'), paths.size());
        const std::filesystem::path path(paths.substr(0, end));
        stubs.push_back({path, ReadBytes(path)});
        paths.remove_prefix(std::min(end + 1, paths.size()));
    }
    return stubs;
}

// The stub that the tests write their patchers into: the exit stub that MinGW built for the processor, which
// carries a manifest, an RCDATA "EXITCODE" and version information of its own.
inline std::filesystem::path ExitStub(std::string_view processor = "i686") {
    for (const StubProgram& stub : StubPrograms()) {
        if (stub.Path.filename().string().find(processor) != std::string::npos) {
            return stub.Path;
        }
    }
    return {};
}

}  // namespace patcher::testing
