#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/patchkit/Commands.h"
#include "tools/patchkit/InspectionText.h"
#include "tools/patchkit/MessageText.h"
#include "tools/patchkit/PatcherInspection.h"
#include "tools/patchkit/Utf8Path.h"

namespace patcher::patchkit {

// What a patcher exe is, printed; a patcher that does not hold together (packed data that does not give the
// content its tables describe, a signature whose digest is not the file's) is printed whole and then fails,
// so that a script that checks an exe before it ships stops there.
int RunInspect(const Arguments& arguments) {
    if (arguments.size() != 1) {
        throw UsageError{"takes the patcher exe"};
    }
    const std::string& path = arguments[0];
    const std::vector<std::uint8_t> image = ReadPatcherFile(PathFromUtf8(path));
    PatcherInspection inspection;
    try {
        inspection = InspectPatcher(image);
    } catch (const NotAPatcher& refusal) {
        throw std::runtime_error(Quoted(path) + " is no patcher: " + refusal.what());
    }
    std::fputs(InspectionText(inspection, path).c_str(), stdout);
    const std::vector<std::string> faults = inspection.Faults();
    if (faults.empty()) {
        return 0;
    }
    std::string joined;
    for (const std::string& fault : faults) {
        joined += (joined.empty() ? "" : "; ") + fault;
    }
    std::fflush(stdout);
    throw std::runtime_error(Quoted(path) + " does not hold together: " + joined);
}

}  // namespace patcher::patchkit
