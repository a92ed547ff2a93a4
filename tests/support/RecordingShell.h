#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/Shell.h"

namespace patcher::testing {

// A shell that writes nothing: it records every removal and every link in order, and fails on request.
class RecordingShell final : public Shell {
  public:
    struct Link {
        std::string Path;
        std::string Target;
        std::string WorkingDirectory;
    };

    void FailRemove(const std::string& path) { failRemove_.insert(path); }
    void FailLink(const std::string& linkPath) { failLink_.insert(linkPath); }

    const std::vector<std::string>& Removed() const { return removed_; }  // attempts, failed ones included
    const std::vector<Link>& Links() const { return links_; }             // links written successfully
    int Attempts() const { return attempts_; }                            // removals and links tried

    void RemoveFile(ByteStringView path) override {
        ++attempts_;
        removed_.emplace_back(path);
        if (failRemove_.count(std::string(path)) != 0) {
            throw PlatformError("remove " + std::string(path), 32);
        }
    }

    void WriteShellLink(ByteStringView linkPath, ByteStringView target, ByteStringView workingDirectory) override {
        ++attempts_;
        if (failLink_.count(std::string(linkPath)) != 0) {
            throw PlatformError("save " + std::string(linkPath), 5);
        }
        links_.push_back({std::string(linkPath), std::string(target), std::string(workingDirectory)});
    }

  private:
    std::set<std::string> failRemove_;
    std::set<std::string> failLink_;
    std::vector<std::string> removed_;
    std::vector<Link> links_;
    int attempts_ = 0;
};

}  // namespace patcher::testing
