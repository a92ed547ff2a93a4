#include "profile/ProductKinds.h"

#include <array>

namespace patcher {
namespace {

struct KindTraits {
    InstallRecord Record = InstallRecord::None;
    bool HidesEnglishFlag = false;
    bool AsksForProgramFile = false;
    bool MakesHelpShortcuts = false;
};

// Kinds 1..6, in order; see the table in ProductKinds.h. What a row leaves out, the kind does not do.
constexpr std::array<KindTraits, 6> kKinds = {{
    {.Record = InstallRecord::ProductKey},
    {.Record = InstallRecord::ProductKey},
    {.Record = InstallRecord::ProductKey},
    {.Record = InstallRecord::FixedKey, .HidesEnglishFlag = true, .AsksForProgramFile = true},
    {.Record = InstallRecord::ProductKey, .HidesEnglishFlag = true},
    {.Record = InstallRecord::ProductKey, .MakesHelpShortcuts = true},
}};

KindTraits TraitsOf(std::int32_t kind) noexcept {
    if (kind < 1 || kind > static_cast<std::int32_t>(kKinds.size())) {
        return {};
    }
    return kKinds[static_cast<std::size_t>(kind - 1)];
}

}  // namespace

InstallRecord InstallRecordOf(std::int32_t kind) noexcept {
    return TraitsOf(kind).Record;
}

bool HidesEnglishFlag(std::int32_t kind) noexcept {
    return TraitsOf(kind).HidesEnglishFlag;
}

bool AsksForProgramFile(std::int32_t kind) noexcept {
    return TraitsOf(kind).AsksForProgramFile;
}

bool MakesHelpShortcuts(std::int32_t kind) noexcept {
    return TraitsOf(kind).MakesHelpShortcuts;
}

}  // namespace patcher
