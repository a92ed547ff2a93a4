#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
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

// A product file as a host reads it back after a run: none where nothing is at the path. Throws
// std::runtime_error naming it where it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadBackProductFile(const std::filesystem::path& path);

// What a trial runs: the patcher, and what the host needs beside it.
struct TrialPrograms {
    std::filesystem::path Patcher;
    bool Patcher64Bit = false;           // x86_64, else i686
    std::filesystem::path RecordWriter;  // patcher-record.exe of the patcher's target, where the host records
    std::filesystem::path Template;      // a Wine prefix to copy; empty: Wine makes one
};

// Whether this host writes the product's record for a trial (under Wine), and so needs a record writer.
bool TrialHostRecords();

// This host's place for a trial: under Wine on Linux (posix/), the patcher started directly with /DIR= on
// Windows (win32/). Throws std::runtime_error where this machine cannot run the patcher at all.
std::unique_ptr<TrialHost> MakeTrialHost(const TrialPrograms& programs);

}  // namespace patcher::patchkit
