#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/UpdateRunSystem.h"
#include "engine/VersionTables.h"

namespace patcher::testing {

// The installed product as a test scripts it: the recorded directory, which directories and files exist,
// what recognition answers for each file and whether its rewrite succeeds. Every call is logged in order.
class ScriptedSystem final : public UpdateRunSystem {
  public:
    ByteString RecordedDirectory;
    FolderSource RecordSource = FolderSource::CurrentUserRecord;
    std::set<std::string> Directories;
    std::map<std::string, CheckResult> Files;            // existing files and what recognition answers
    std::map<std::string, FileFailure> FailingRewrites;  // paths whose rewrite fails, and why
    std::map<std::string, FoundTarget> ChangedFiles;     // paths that hold something else when rewritten
    std::map<std::string, unsigned long> LookUpErrors;   // paths whose presence cannot be told, and why
    FileFailure ReadFailure{FileFault::InUse, 32};       // why an Unreadable file could not be read
    std::vector<ShortcutProblem> ShortcutProblems;       // what the help shortcuts answer
    std::vector<std::string> Calls;                      // "lookup", "recognise 1 PATH", "rewrite 1 PATH", ...
    std::map<std::string, FoundTarget> RewrittenOver;    // what each rewrite was told that recognition found
    std::function<void(int fileIndex)> DuringRewrite;    // runs inside each rewrite, before it ends

    ProductFolder FindInstallDir() override {
        Calls.push_back("lookup");
        return {RecordedDirectory, RecordedDirectory.empty() ? FolderSource::None : RecordSource};
    }
    bool DirectoryExists(ByteStringView path) override { return Directories.count(std::string(path)) != 0; }
    FilePresence LookUpFile(ByteStringView path) override {
        if (const auto error = LookUpErrors.find(std::string(path)); error != LookUpErrors.end()) {
            return {Presence::Unknown, error->second};
        }
        return {Files.count(std::string(path)) != 0 ? Presence::File : Presence::Absent, 0};
    }
    // Never waits.
    InUseWait FileWait(LockWait&) override { return {}; }
    Recognition RecogniseFileVersion(int fileIndex, ByteStringView path, InUseWait&) override {
        Calls.push_back("recognise " + std::to_string(fileIndex) + " " + std::string(path));
        Recognition recognition;
        recognition.Result = Files.at(std::string(path));
        recognition.Version = recognition.Result == CheckResult::Current     ? NewestVersion(fileIndex)
                              : recognition.Result == CheckResult::OutOfDate ? 1
                                                                             : 0;
        if (recognition.Result == CheckResult::Unreadable) {
            recognition.Failure = ReadFailure;
        }
        return recognition;
    }
    RewriteResult RewriteFile(int fileIndex, ByteStringView path, const FoundTarget& found, InUseWait&) override {
        Calls.push_back("rewrite " + std::to_string(fileIndex) + " " + std::string(path));
        RewrittenOver[std::string(path)] = found;
        if (DuringRewrite) {
            DuringRewrite(fileIndex);
        }
        RewriteResult result;
        if (const auto changed = ChangedFiles.find(std::string(path)); changed != ChangedFiles.end()) {
            result.ChangedTo = changed->second;
            return result;
        }
        if (const auto failing = FailingRewrites.find(std::string(path)); failing != FailingRewrites.end()) {
            result.Failure = failing->second;
            return result;
        }
        Files[std::string(path)] = CheckResult::Current;  // a later run finds the new content
        result.Ok = true;
        return result;
    }
    std::vector<ShortcutProblem> CreateHelpShortcuts(ByteStringView installDir) override {
        Calls.push_back("shortcuts " + std::string(installDir));
        return ShortcutProblems;
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
