#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace patcher::pe {

// A type or name in the resource tree: a number, or a name (UTF-16) where Name is not empty.
struct ResourceId {
    std::uint32_t Number = 0;
    std::u16string Name;

    static ResourceId Numbered(std::uint32_t number) { return {number, {}}; }
    static ResourceId Named(std::u16string name) { return {0, std::move(name)}; }

    bool IsName() const noexcept { return !Name.empty(); }
    // "#10" for a number, the name itself for a name (letters beyond ASCII as \uXXXX).
    std::string Text() const;

    friend bool operator==(const ResourceId&, const ResourceId&) = default;
};

// The order of a directory table's entries: names before numbers; names as the loader compares them,
// without regard to the case of ASCII letters (the exact units then decide between names that differ only
// in case); numbers ascending.
bool TreeOrder(const ResourceId& left, const ResourceId& right);

}  // namespace patcher::pe
