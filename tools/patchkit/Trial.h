#pragma once

#include <functional>
#include <string>

#include "tables/PatchTables.h"
#include "tools/patchkit/TrialHost.h"
#include "tools/patchkit/TrialPlan.h"

namespace patcher::patchkit {

// A patcher's trial: its cases run on a host, and the table of what became of each, the same on every host.

// Takes the printed text one line at a time, without its line break.
using TrialPrinter = std::function<void(const std::string& line)>;

// The line that names the patcher under trial: its file name and target, the product, its kind, the update and
// the files it selects.
std::string PatcherLine(const std::string& exeName, const std::string& target, const PatchTables& tables);

// Runs every case of the plan on the host (prepared here) and prints a note for each release file that looked
// like a newest build and is not, the table's heading, one line per case as it ends, the patcher's log after a
// case that failed, one line per known build that was not tried, and last the summary. A case passes when
// /CHECK gave 5 and /S then 0, the file tried is now byte for byte its newest build, and every other selected
// file is too (untouched, or created). True when there was a case and every case passed.
bool RunTrialCases(const PatchTables& tables, const TrialPlan& plan, TrialHost& host, const TrialPrinter& print);

}  // namespace patcher::patchkit
