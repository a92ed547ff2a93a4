#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace patcher {

// The command line as the program was given it, whole (UTF-8, for the log), and its arguments in the
// system's ANSI code page, which the program's file functions take. Reading it never fails: an argument
// that the code page cannot carry is marked so, and refused when the arguments are understood.
struct ProgramCommandLine {
    std::string WholeUtf8;
    std::vector<CommandLineArgument> Arguments;
};

ProgramCommandLine ReadProgramCommandLine();

// The program file's own name ("VokarEn-1.5.3-patch.exe").
std::wstring ProgramFileName();

}  // namespace patcher
