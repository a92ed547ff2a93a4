#pragma once

#include <filesystem>
#include <string>

#include "tools/patchkit/TrialHost.h"
#include "tools/patchkit/posix/WineSession.h"

namespace patcher::patchkit {

// The trial's cases under Wine on Linux, all in one throwaway prefix (WineSession): the product installed in
// "C:\Program Files (x86)\Vokarion" and recorded there by the record writer, as its installer does, and the
// patcher started from a folder of its own with its log beside it.
class WineTrialHost final : public TrialHost {
  public:
    using Programs = TrialPrograms;

    // Throws std::runtime_error where this machine cannot run the patcher at all: an i686 one where the kernel
    // runs no 32-bit programs.
    explicit WineTrialHost(Programs programs);

    void Prepare(const PatchTables& tables) override;
    void Install(const std::vector<File>& files) override;
    int RunPatcher(const std::vector<std::string>& options) override;
    std::optional<std::vector<std::uint8_t>> ReadBack(const std::string& name) override;
    std::string Log() override;

  private:
    void Record(const std::vector<std::string>& arguments);

    Programs programs_;
    WineSession session_;
};

}  // namespace patcher::patchkit
