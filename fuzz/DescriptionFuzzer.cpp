// libFuzzer harness for the patch description reader: no text may make it crash, hang, overflow its stack or
// fail with anything but a one-line DescriptionError; a text that passes the shape check nests no deeper,
// once the TOML reader has built it, than the limit that the check promises; and what the reader accepts
// keeps every promise that the patch build relies on.
#include <toml++/toml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Windows1250.h"
#include "tables/PatchTables.h"
#include "tables/PatchTablesFormat.h"
#include "engine/SignatureTables.h"
#include "engine/UDer.h"
#include "tools/patchkit/DescriptionReader.h"
#include "tools/patchkit/DescriptionShape.h"

namespace {

using patcher::patchkit::PatchDescription;

// The deepest nesting of the tree, counted as the containers on the way from the root (which is 0).
int Depth(const toml::table& root) {
    std::vector<std::pair<const toml::node*, int>> pending = {{&root, 0}};
    int deepest = 0;
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        if (const toml::table* table = node->as_table()) {
            for (const auto& [key, child] : *table) {
                if (child.is_table() || child.is_array()) {
                    pending.emplace_back(&child, depth + 1);
                }
            }
        } else if (const toml::array* array = node->as_array()) {
            for (const toml::node& child : *array) {
                if (child.is_table() || child.is_array()) {
                    pending.emplace_back(&child, depth + 1);
                }
            }
        }
    }
    return deepest;
}

bool Ascending(const std::vector<int>& values) {
    return std::adjacent_find(values.begin(), values.end(), [](int a, int b) { return a >= b; }) == values.end();
}

// A title or version as the patcher's tables hold it: 1 to 255 Windows-1250 characters to show.
bool IsShownText(const std::string& text) {
    return !text.empty() && text.size() <= patcher::kMaxTableTextBytes &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return patcher::IsShownWindows1250(static_cast<std::uint8_t>(c)); });
}

// What the patch build takes for granted of a description that the reader accepted.
bool KeepsItsPromises(const PatchDescription& description) {
    if (!IsShownText(description.UpdateTitle[0]) || !IsShownText(description.UpdateTitle[1]) ||
        !IsShownText(description.UpdateVersion)) {
        return false;
    }
    std::vector<int> files;
    for (const auto& file : description.Files) {
        files.push_back(file.FileIndex);
        if (file.FileIndex < 1 || file.FileIndex > patcher::kFileCount || file.Builds.empty() ||
            file.Builds.size() > static_cast<std::size_t>(patcher::kMaxVersions)) {
            return false;
        }
        if (file.FirstSlotBytes && (*file.FirstSlotBytes < 1 || *file.FirstSlotBytes > patcher::UnpackCapacity)) {
            return false;
        }
        std::vector<int> versions;
        for (const auto& build : file.Builds) {
            versions.push_back(build.Version);
            if (build.Version < 1 || build.Version > patcher::kMaxVersions || build.Path.empty() ||
                build.Path.front() == '/' ||
                build.Leading.size() > static_cast<std::size_t>(patcher::kSignatureEntries) ||
                build.Leading.size() != build.LeadingLines.size() ||
                std::any_of(build.Path.begin(), build.Path.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
                return false;
            }
            std::vector<std::int32_t> leading = build.Leading;
            std::sort(leading.begin(), leading.end());
            if (std::adjacent_find(leading.begin(), leading.end()) != leading.end() ||
                (!leading.empty() && leading.front() < 0)) {
                return false;
            }
        }
        if (!Ascending(versions)) {
            return false;
        }
    }
    if (!Ascending(files) || description.SelectedFiles.empty() || !Ascending(description.SelectedFiles)) {
        return false;
    }
    return std::all_of(description.SelectedFiles.begin(), description.SelectedFiles.end(),
                       [&](int file) { return description.FindFile(file) != nullptr; }) &&
           std::find(description.SelectedFiles.begin(), description.SelectedFiles.end(), description.UpdateIndex) !=
               description.SelectedFiles.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool shaped = true;
    try {
        patcher::patchkit::CheckDescriptionShape(text, "fuzz.toml");
    } catch (const patcher::patchkit::DescriptionError&) {
        shaped = false;
    }
    if (shaped) {
        try {
            const toml::table root = toml::parse(text, std::string_view("fuzz.toml"));
            if (Depth(root) > patcher::patchkit::kMaxDescriptionDepth) {
                std::abort();  // the shape check let through more nesting than it promises
            }
        } catch (const toml::parse_error&) {
        }
    }
    try {
        const PatchDescription description = patcher::patchkit::ParsePatchDescription(text, "fuzz.toml");
        if (!shaped || !KeepsItsPromises(description)) {
            std::abort();
        }
    } catch (const patcher::patchkit::DescriptionError& error) {
        if (std::strchr(error.what(), '\n') != nullptr || std::strchr(error.what(), '\r') != nullptr) {
            std::abort();  // a message of more than one line
        }
    }
    return 0;
}
