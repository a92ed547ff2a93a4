#include "tools/patchkit/ResourceSlots.h"

#include <exception>
#include <new>
#include <string>

#include "engine/UDer.h"
#include "tools/patchkit/MessageText.h"

namespace patcher::patchkit {
namespace {

// A split that a description gives fits its file: its row has two slots, and slot 2 keeps 1 to UnpackCapacity
// bytes of the newest build.
void CheckGivenSplits(const PatchDescription& description,
                      const std::vector<LoadedFile>& files,
                      const BuildOptions& options) {
    for (const LoadedFile& file : files) {
        const DescribedFile& described = *file.Described;
        if (!described.FirstSlotBytes) {
            continue;
        }
        const auto [first, second] = SlotNames(options, described.FileIndex);
        const std::string given = "file " + std::to_string(described.FileIndex) +
                                  ": FirstSlotBytes = " + std::to_string(*described.FirstSlotBytes);
        if (second.empty()) {
            description.Refuse(described.FirstSlotLine,
                               given + " splits the file over two slots, but its row has one" +
                                   (first.empty() ? std::string() : " (" + ByteString(first) + ")"));
        }
        const LoadedBuild& newest = file.Newest();
        const std::size_t size = newest.Bytes.size();
        const auto split = static_cast<std::size_t>(*described.FirstSlotBytes);
        const std::string slot2 = "slot 2 (" + ByteString(second) + ")";
        if (split >= size) {
            description.Refuse(described.FirstSlotLine, given + " leaves nothing for " + slot2 + " of the " +
                                                            std::to_string(size) + " bytes of " + PathOf(newest) +
                                                            ", the newest build");
        }
        if (size - split > static_cast<std::size_t>(UnpackCapacity)) {
            description.Refuse(described.FirstSlotLine, given + " leaves " + std::to_string(size - split) +
                                                            " bytes of the " + std::to_string(size) + " of " +
                                                            PathOf(newest) + " for " + slot2 + ", more than the " +
                                                            std::to_string(UnpackCapacity) +
                                                            " bytes that a slot unpacks to");
        }
    }
}

}  // namespace

std::pair<ByteStringView, ByteStringView> SlotNames(const BuildOptions& options, int fileIndex) {
    const auto row = static_cast<std::size_t>(2 * (fileIndex - 1));
    return {options.ResourceNames[row], options.ResourceNames[row + 1]};
}

std::optional<std::size_t> GivenSplit(const LoadedFile& file) {
    if (!file.Described->FirstSlotBytes) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(*file.Described->FirstSlotBytes);
}

void CheckSlots(const PatchDescription& description,
                const std::vector<LoadedFile>& files,
                const BuildOptions& options) {
    CheckGivenSplits(description, files, options);
    for (std::size_t s = 0; s < description.SelectedFiles.size(); ++s) {
        const int fileIndex = description.SelectedFiles[s];
        const auto [first, second] = SlotNames(options, fileIndex);
        if (first.empty()) {
            description.Refuse(description.SelectedLines[s],
                               "file " + std::to_string(fileIndex) +
                                   " is selected, but its row of the resource table names " +
                                   (second.empty() ? "no resource" : "no resource in slot 1"));
        }
        const LoadedFile& file = FileOf(files, fileIndex);
        const LoadedBuild& newest = file.Newest();
        const auto parts = standin::SplitOverSlots(newest.Bytes, !second.empty(), GivenSplit(file));
        const std::string has =
            Label(file, newest) + PathOf(newest) + " has " + std::to_string(newest.Bytes.size()) + " bytes, ";
        for (std::size_t slot = 0; slot < parts.size(); ++slot) {
            const std::string name =
                "slot " + std::to_string(slot + 1) + " (" + ByteString(slot == 0 ? first : second) + ")";
            if (parts[slot].size() > UnpackCapacity) {
                description.Refuse(newest.Described->Line,
                                   has + "too many for its row's " +
                                       (parts.size() == 1 ? "one slot: " : "two slots: ") + name + " would hold " +
                                       std::to_string(parts[slot].size()) + ", more than the " +
                                       std::to_string(UnpackCapacity) + " bytes that a slot unpacks to");
            }
            if (parts[slot].empty()) {
                description.Refuse(newest.Described->Line,
                                   has + "too few for its row's two slots: " + name + " would be empty");
            }
        }
    }
}

std::vector<standin::PackedResource> PackSlots(const PatchDescription& description,
                                               const std::vector<LoadedFile>& files,
                                               const BuildOptions& options,
                                               BuildFigures& figures) {
    std::vector<standin::PackedResource> slots;
    for (const int fileIndex : description.SelectedFiles) {
        const LoadedFile& file = FileOf(files, fileIndex);
        const auto [first, second] = SlotNames(options, fileIndex);
        try {
            for (standin::PackedResource& slot :
                 standin::PackFileResources(file.Newest().Bytes, first, second, options.Method, GivenSplit(file))) {
                figures.Slots.push_back({slot.Name, slot.UnpackedSize, slot.Packed.size()});
                slots.push_back(std::move(slot));
            }
        } catch (const std::bad_alloc&) {
            // Its what() names a type, not the trouble.
            description.Refuse(file.Newest().Described->Line,
                               Label(file, file.Newest()) + "out of memory while packing it into its slots");
        } catch (const std::exception& error) {
            description.Refuse(file.Newest().Described->Line, Label(file, file.Newest()) + error.what());
        }
    }
    return slots;
}

}  // namespace patcher::patchkit
