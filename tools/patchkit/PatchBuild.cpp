#include "tools/patchkit/PatchBuild.h"

#include <chrono>
#include <stdexcept>

#include "tables/PatchTablesFormat.h"
#include "tools/patchkit/BuildVerification.h"
#include "tools/patchkit/DerivedTables.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/InputFiles.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/OutputFolder.h"
#include "tools/patchkit/PatcherAssembly.h"
#include "tools/patchkit/PatcherSigning.h"
#include "tools/patchkit/ReleaseFiles.h"
#include "tools/patchkit/ResourceSlots.h"
#include "tools/patchkit/ShippedGuard.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A stub is a program of a few hundred kilobytes; anything much larger is not one.
constexpr std::uint64_t kLargestStub = 16 * 1024 * 1024;

}  // namespace

MadePatcher MakePatcher(const PatchDescription& description,
                        const std::filesystem::path& releaseDir,
                        std::span<const std::uint8_t> stub,
                        const BuildOptions& options,
                        std::span<const ShippedPatcher> shipped,
                        BuildFigures& figures) {
    Clock::time_point start = Clock::now();
    const std::vector<LoadedFile> files = ReadRelease(description, releaseDir, figures);
    CheckBuilds(description, files);
    RefuseDowngrades(description, files, shipped);
    CheckSlots(description, files, options);
    figures.Reading = SecondsSince(start);

    start = Clock::now();
    const std::vector<standin::PickedTable> picked = PickTables(description, files);
    const PatchTables tables = DerivePatchTables(description, files, picked);
    figures.TablesPicked = static_cast<int>(picked.size());
    figures.Tables = SecondsSince(start);

    start = Clock::now();
    Verify(description, files, tables, figures);
    figures.Verification = SecondsSince(start);

    start = Clock::now();
    const std::vector<standin::PackedResource> slots = PackSlots(description, files, options, figures);
    figures.Packing = SecondsSince(start);

    start = Clock::now();
    MadePatcher made;
    std::vector<pe::PeResource> written;
    try {
        made.FileName = PatcherFileName(tables);
        written = PatcherResources(tables, WritePatchTables(tables), slots);
        made.Exe = pe::WithResources(stub, written);
    } catch (const PatchTablesError& error) {
        description.Refuse(0, error.what());
    } catch (const std::invalid_argument& error) {
        // A stub that is no program to write into (pe::BrokenImage, pe::UnsuitableStub), a resource that
        // cannot be written.
        throw std::runtime_error(std::string("the patcher cannot be made: ") + error.what());
    }
    figures.Assembling = SecondsSince(start);

    start = Clock::now();
    CrossCheck(description, files, picked, tables, made.Exe, stub, written, options);
    figures.Checking = SecondsSince(start);
    return made;
}

namespace {

// The real places of what a build reads, and the output folder as the maintainer named it.
struct Places {
    std::filesystem::path Release;
    std::filesystem::path Description;       // the file, links followed
    std::filesystem::path DescriptionPlace;  // where its name lies, the name itself no link followed
    std::string ReleaseShown;
    std::string OutShown;
    std::string DescriptionShown;
};

// Where the patcher goes, kept apart from what it is made of: the output folder is not the release folder,
// holds neither it nor the description, and does not lie inside the release folder. Links are followed.
void CheckOutputPlace(const std::filesystem::path& outReal, const Places& places) {
    const std::string& out = places.OutShown;
    const std::string& release = places.ReleaseShown;
    if (IsWithin(outReal, places.Release) && IsWithin(places.Release, outReal)) {
        throw std::runtime_error(out + " is " + release + ", which a build only reads");
    }
    if (IsWithin(places.Release, outReal)) {
        throw std::runtime_error(out + " holds " + release + ": keep patchers apart from what they are made of");
    }
    if (IsWithin(outReal, places.Release)) {
        throw std::runtime_error(out + " lies inside " + release + ", which a build only reads");
    }
    if (IsWithin(places.Description, outReal) || IsWithin(places.DescriptionPlace, outReal)) {
        throw std::runtime_error(out + " holds the description " + places.DescriptionShown +
                                 ": keep patchers apart from what they are made of");
    }
}

// The places of a build, checked before anything is read: the release folder must be a folder, and the output
// folder, where it exists, a folder apart from them.
Places CheckPlaces(const std::string& descriptionPath,
                   const std::filesystem::path& releaseDir,
                   const std::filesystem::path& outDir) {
    Places places;
    places.ReleaseShown = "the release folder " + Quoted(Utf8Of(releaseDir));
    places.OutShown = "the output folder " + Quoted(Utf8Of(outDir));
    places.DescriptionShown = Quoted(descriptionPath);
    const std::filesystem::path outPath = OutputFolderPath(outDir);
    try {
        places.Release = ExistingRealPath(releaseDir);
    } catch (const ReadError& failure) {
        throw std::runtime_error(places.ReleaseShown + " cannot be read (" + failure.what() + ")");
    }
    const auto isFolder = [](const std::filesystem::path& path) {
        try {
            return KindAt(path) == PathKind::Folder;
        } catch (const ReadError&) {
            return false;
        }
    };
    if (!isFolder(places.Release)) {
        throw std::runtime_error(places.ReleaseShown + " is not a folder");
    }
    try {
        if (KindAt(outDir) == PathKind::Other) {
            throw std::runtime_error(places.OutShown + " exists and is not a folder");
        }
    } catch (const ReadError& failure) {
        throw std::runtime_error(places.OutShown + " cannot be used (" + failure.what() + ")");
    }
    const std::filesystem::path description = PathFromUtf8(descriptionPath);
    std::filesystem::path outReal;
    try {
        outReal = RealPath(outPath);
        places.Description = RealPath(description);
        places.DescriptionPlace = RealPath(FolderPath(description).parent_path()) / description.filename();
    } catch (const ReadError& failure) {
        throw std::runtime_error(places.OutShown + " cannot be used (" + failure.what() + ")");
    }
    CheckOutputPlace(outReal, places);
    return places;
}

}  // namespace

BuildFigures BuildPatch(const std::string& descriptionPath,
                        const std::filesystem::path& releaseDir,
                        const std::filesystem::path& outDir,
                        const BuildOptions& options,
                        std::span<const ShippedPatcher> shipped) {
    const PatchDescription description = ReadPatchDescription(descriptionPath);
    if (options.Sign) {
        CheckSigningAvailable();
    }
    const Places places = CheckPlaces(descriptionPath, releaseDir, outDir);
    std::vector<std::uint8_t> stub;
    try {
        stub = ReadRegularFile(options.Stub, kLargestStub, "that a patcher's stub takes");
    } catch (const ReadError& error) {
        throw std::runtime_error("the stub " + Quoted(Utf8Of(options.Stub)) + " cannot be read (" + error.what() + ")");
    }
    BuildFigures figures;
    MadePatcher made = MakePatcher(description, places.Release, stub, options, shipped, figures);
    if (options.Sign) {
        const Clock::time_point start = Clock::now();
        made.Exe = Signed(made.Exe, made.FileName, *options.Sign);
        figures.Signing = SecondsSince(start);
    }
    const Clock::time_point start = Clock::now();
    // The folder is looked at again as it was opened, and the exe written beneath that very folder: a link
    // swapped into its name's place since the first look leads the exe nowhere it may not go.
    const OutputTree out(outDir);
    CheckOutputPlace(out.Place(), places);
    out.Put(made.FileName, made.Exe);
    figures.Writing = SecondsSince(start);
    figures.ExeName = made.FileName;
    figures.ExeBytes = made.Exe.size();
    return figures;
}

}  // namespace patcher::patchkit
