#pragma once

#include <string>
#include <vector>

namespace patcher::patchkit {

using Arguments = std::vector<std::string>;

// A command of the maintainers' tool. It returns the process exit code; a failure is thrown as an exception
// and printed by main as one line.
struct Command {
    const char* Name;
    const char* Usage;
    int (*Run)(const Arguments& arguments);
};

// Thrown for a command line that does not fit the command's usage.
struct UsageError {
    std::string Message;
};

// A file index 1..12 given on the command line; throws UsageError for anything else.
int ParseFileIndex(const std::string& text);

int RunStandin(const Arguments& arguments);
int RunBuild(const Arguments& arguments);
int RunRecognise(const Arguments& arguments);
int RunInspect(const Arguments& arguments);
int RunRewrite(const Arguments& arguments);
int RunPack(const Arguments& arguments);
int RunUnpack(const Arguments& arguments);
int RunScramble(const Arguments& arguments);
int RunCatalogue(const Arguments& arguments);
int RunGlyphs(const Arguments& arguments);
int RunTrial(const Arguments& arguments);

}  // namespace patcher::patchkit
