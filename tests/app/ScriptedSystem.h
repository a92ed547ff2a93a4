#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/UpdateRun.h"

namespace patcher::testing {

// The installed product as a test scripts it: the recorded directory, which directories and files exist,
// what recognition answers for each file and whether its rewrite succeeds. Every call is logged in order.
class ScriptedSystem final : public UpdateRunSystem {
  public:
    ByteString RecordedDirectory;
    std::set<std::string> Directories;
    std::map<std::string, CheckResult> Files;          // existing files and what recognition answers
    std::set<std::string> FailingRewrites;             // paths whose rewrite returns false
    std::vector<std::string> Calls;                    // "lookup", "recognise 1 PATH", "rewrite 1 PATH", ...
    std::function<void(int fileIndex)> DuringRewrite;  // runs inside each rewrite, before it ends

    ByteString FindInstallDir() override {
        Calls.push_back("lookup");
        return RecordedDirectory;
    }
    bool DirectoryExists(ByteStringView path) override { return Directories.count(std::string(path)) != 0; }
    bool FileExists(ByteStringView path) override { return Files.count(std::string(path)) != 0; }
    CheckResult RecogniseFileVersion(int fileIndex, ByteStringView path) override {
        Calls.push_back("recognise " + std::to_string(fileIndex) + " " + std::string(path));
        return Files.at(std::string(path));
    }
    bool RewriteFile(int fileIndex, ByteStringView path, LockWait&) override {
        Calls.push_back("rewrite " + std::to_string(fileIndex) + " " + std::string(path));
        if (DuringRewrite) {
            DuringRewrite(fileIndex);
        }
        if (FailingRewrites.count(std::string(path)) != 0) {
            return false;
        }
        Files[std::string(path)] = CheckResult::Current;  // a later run finds the new content
        return true;
    }
    void CreateHelpShortcuts(ByteStringView installDir) override {
        Calls.push_back("shortcuts " + std::string(installDir));
    }

    // An installation in C:\Vokarion with the given files, recorded in the registry.
    void Install(const std::map<std::string, CheckResult>& files) {
        RecordedDirectory = "C:\\Vokarion";
        Directories.insert(RecordedDirectory);
        for (const auto& [name, result] : files) {
            Files["C:\\Vokarion\\" + name] = result;
        }
    }
};

}  // namespace patcher::testing
