#pragma once

#include <array>
#include <cstdint>

#include "common/LanguageCode.h"

namespace patcher {

// The values that make this build serve one product and one update; start-up copies them into the
// ProductProfile. profile/BuildProfile.cpp is written by `patchkit build` from the build's patch description.
struct BuildProfile {
    std::int32_t ProductIndex;
    LanguageCode ProductLanguage;
    std::int32_t ProductKind;
    std::array<std::uint8_t, 32> SelectedFiles;  // the bit map that SelectedFiles is copied from
    std::uint8_t UpdateIndex;
};

extern const BuildProfile kBuildProfile;

}  // namespace patcher
