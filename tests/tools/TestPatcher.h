#pragma once

// Patcher exes put together here from the data resources of one that `patchkit build` made (MinGW's exit stub of
// the PE tests with a build's tables and packed slots), so that a test can change or leave out any of them.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/pe/StubPrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/tools/TinyRelease.h"
#include "tools/pe/PeFormat.h"
#include "tools/pe/PeReader.h"
#include "tools/pe/ResourceWriter.h"
#include "tools/pe/VersionInfo.h"

namespace patcher::testing {

// One data resource of a patcher as a file: "<name>.packed" and its bytes.
struct OutputFile {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
};

// The data resources that a build wrote into a patcher, its tables and its slots, each as "<name>.packed" (the
// stub's own EXITCODE left out).
inline std::vector<OutputFile> WrittenData(const std::vector<std::uint8_t>& exe) {
    std::vector<OutputFile> written;
    for (const pe::PeReader::Resource& resource : pe::PeReader(exe).Resources()) {
        if (resource.Type == pe::ResourceId::Numbered(pe::resources::kRcData) && resource.Name.Text() != "EXITCODE") {
            written.push_back({resource.Name.Text() + ".packed", {resource.Bytes.begin(), resource.Bytes.end()}});
        }
    }
    return written;
}

// A build's resources (its "<name>.packed" files) and version information written into the stub. The stub's
// own version information is replaced.
inline std::vector<std::uint8_t> PatcherExe(const std::vector<OutputFile>& output,
                                            const pe::VersionInfo& version,
                                            const std::vector<std::uint8_t>& stub = ReadBytes(ExitStub())) {
    std::uint16_t versionLanguage = 0;
    for (const pe::PeReader::Resource& resource : pe::PeReader(stub).Resources()) {
        if (resource.Type == pe::ResourceId::Numbered(pe::resources::kVersion)) {
            versionLanguage = static_cast<std::uint16_t>(resource.Language);
        }
    }
    std::vector<pe::PeResource> resources;
    for (const OutputFile& file : output) {
        const std::string suffix = ".packed";
        if (file.Name.ends_with(suffix)) {
            const std::string name = file.Name.substr(0, file.Name.size() - suffix.size());
            resources.push_back({pe::ResourceId::Numbered(pe::resources::kRcData),
                                 pe::ResourceId::Named(std::u16string(name.begin(), name.end())), 0x409, file.Bytes});
        }
    }
    resources.push_back({pe::ResourceId::Numbered(pe::resources::kVersion), pe::ResourceId::Numbered(1),
                         versionLanguage, pe::VersionInfoResource(version)});
    return pe::WithResources(stub, resources);
}

}  // namespace patcher::testing
