#pragma once

#include "app/Startup.h"

namespace patcher {

// How this process was started: the command line whole (UTF-8, for the log) and its arguments in the
// system's ANSI code page, which the program's file functions take; the program file's name; the process id.
// Reading it never fails: an argument that the code page cannot carry is marked so, and refused when the
// arguments are understood.
ProgramInvocation ReadProgramInvocation();

}  // namespace patcher
