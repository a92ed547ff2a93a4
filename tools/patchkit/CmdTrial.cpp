#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/patchkit/BundledFiles.h"
#include "tools/patchkit/Commands.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherFile.h"
#include "tools/patchkit/ReleaseSurvey.h"
#include "tools/patchkit/Trial.h"
#include "tools/patchkit/TrialHost.h"
#include "tools/patchkit/TrialPlan.h"
#include "tools/patchkit/Utf8Path.h"
#include "tools/pe/PeReader.h"

namespace patcher::patchkit {
namespace {

void PrintLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
    // Each case takes seconds: its line shows as soon as it ends.
    std::fflush(stdout);
}

}  // namespace

// A patcher tried under Wine on every older build of its files that a release holds: installed as the product's
// installer leaves it, /CHECK and then /S, and the files compared with the newest builds.
int RunTrial(const Arguments& arguments) {
    TrialPrograms programs;
    Arguments rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&](const char* what) -> const std::string& {
            if (i + 1 >= arguments.size()) {
                throw UsageError{argument + " takes " + what};
            }
            return arguments[++i];
        };
        if (argument == "--record-writer") {
            programs.RecordWriter = PathFromUtf8(value("the record writer's path"));
        } else if (argument == "--wine-template") {
            programs.Template = PathFromUtf8(value("a Wine prefix's path"));
        } else if (argument.starts_with("--")) {
            throw UsageError{"unknown option " + Shown(argument)};
        } else {
            rest.push_back(argument);
        }
    }
    if (rest.size() != 2) {
        throw UsageError{"takes a patcher and the release folder"};
    }
    programs.Patcher = PathFromUtf8(rest[0]);
    const OpenedPatcher patcher = OpenPatcher(programs.Patcher);
    const PatchTables& tables = patcher.Tables;
    programs.Patcher64Bit = pe::PeReader(patcher.Resources->Image()).Is64Bit();
    const std::string target = programs.Patcher64Bit ? "x86_64" : "i686";
    if (programs.RecordWriter.empty() && TrialHostRecords()) {
        programs.RecordWriter = BundledFile("patcher-record-" + target + ".exe", "--record-writer");
    }

    const ReleaseSurvey survey = SurveyRelease(PathFromUtf8(rest[1]), tables);
    const TrialPlan plan = PlanTrial(tables, survey.Builds);
    PrintLine(PatcherLine(Utf8Of(programs.Patcher.filename()), target, tables));
    std::string release = "release " + Shown(rest[1]) + ": " + std::to_string(survey.Builds.size()) +
                          " files recognised as builds of the selected files";
    if (survey.Unrecognised != 0) {
        release += ", " + std::to_string(survey.Unrecognised) + " of their names not";
    }
    PrintLine(release);
    for (const std::string& leftOut : survey.LeftOut) {
        PrintLine("note: " + leftOut + "; left out");
    }
    const std::unique_ptr<TrialHost> host = MakeTrialHost(programs);
    return RunTrialCases(tables, plan, *host, PrintLine) ? 0 : 1;
}

}  // namespace patcher::patchkit
