#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tables/PatchTables.h"

namespace patcher::patchkit {

// Where a trial's cases run: a product installed as its installer leaves it, and the patcher started on it as a
// deployment tool starts it. Under Wine on Linux the product is found by its registry record; a Windows host
// may name the folder with /DIR= instead. The trial calls Prepare once, then for each case Install, RunPatcher
// (with /CHECK, then /S), ReadBack and, where the case failed, Log. Each throws std::runtime_error where the
// host itself fails (Wine cannot be started, a folder cannot be written): that ends the whole trial.
class TrialHost {
  public:
    virtual ~TrialHost() = default;

    // A product file to install: its name in the product's folder and its bytes.
    struct File {
        std::string Name;
        std::span<const std::uint8_t> Bytes;
    };

    // Makes the place where the cases run for the patcher of these tables: the product's folder and, where the
    // host finds it by its record, the record that the product's installer writes.
    virtual void Prepare(const PatchTables& tables) = 0;
    // The product's folder afresh, holding these files and nothing else; the patcher's log starts empty.
    virtual void Install(const std::vector<File>& files) = 0;
    // Runs the patcher with these options and those that the host adds (its log, a folder) and waits for it:
    // its exit code, or kDidNotEnd where it was still running after the host's deadline and was stopped.
    virtual int RunPatcher(const std::vector<std::string>& options) = 0;
    // A file of the product's folder as the patcher left it; none where no file of that name is there.
    virtual std::optional<std::vector<std::uint8_t>> ReadBack(const std::string& name) = 0;
    // What the patcher logged since the case was installed, in UTF-8.
    virtual std::string Log() = 0;

    static constexpr int kDidNotEnd = -1;
};

}  // namespace patcher::patchkit
