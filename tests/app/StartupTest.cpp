#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "tests/support/InstalledBuildTables.h"

namespace patcher {
namespace {

// The command line is read by the product's identity; the windows read the profile only when the main window
// is shown, inside the message loop; by then the identity and the file set must both be in place, and the
// identity already when the windows are made. A command line that ends the program ends it before any window.
TEST(Startup, SetsTheProfileAroundTheCreationOfTheWindows) {
    struct RecordingSteps : StartupSteps {
        ProductProfile& profile;
        std::vector<std::string> log;
        explicit RecordingSteps(ProductProfile& p) : profile(p) {}
        void Note(const std::string& step) {
            log.push_back(step + " kind=" + std::to_string(profile.ProductKind) +
                          " selected=" + std::to_string(profile.SelectedFiles.Contains(1)) +
                          " update=" + std::to_string(profile.UpdateIndex));
        }
        std::optional<int> ended;
        std::optional<int> ReadCommandLine(const ProductProfile& read) override {
            EXPECT_EQ(&read, &profile);
            Note("command line");
            return ended;
        }
        void CreateMainWindow() override { Note("window"); }
        void CreateMessageDialog() override { Note("dialog"); }
        int RunMessageLoop() override {
            Note("loop");
            return 7;
        }
    };
    ProductProfile profile;
    RecordingSteps steps(profile);
    EXPECT_EQ(RunStartup(profile, steps), 7);
    EXPECT_EQ(steps.log,
              (std::vector<std::string>{"command line kind=1 selected=0 update=0", "window kind=1 selected=0 update=0",
                                        "dialog kind=1 selected=0 update=0", "loop kind=1 selected=1 update=1"}));

    ProductProfile refused;
    RecordingSteps ending(refused);
    ending.ended = 3;
    EXPECT_EQ(RunStartup(refused, ending), 3);
    EXPECT_EQ(ending.log, (std::vector<std::string>{"command line kind=1 selected=0 update=0"}));
}

}  // namespace
}  // namespace patcher
