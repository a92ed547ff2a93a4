#include "tools/patchkit/Commands.h"
#include "tools/patchkit/OutputFiles.h"
#include "tools/standin/SignaturePicker.h"
#include "tools/standin/SignatureSource.h"

namespace patcher::patchkit {

int RunSignatures(const Arguments& arguments) {
    if (arguments.size() > 1) {
        throw UsageError{"takes at most the file to write"};
    }
    standin::StandinBuilds builds;
    WriteTextTo(arguments.empty() ? nullptr : &arguments[0],
                standin::RenderSignatureSource(standin::PickStandinTables(builds)));
    return 0;
}

}  // namespace patcher::patchkit
