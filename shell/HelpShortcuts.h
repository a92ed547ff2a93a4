#pragma once

#include <vector>

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "profile/ProductProfile.h"

namespace patcher {

// The name of a product's group folder inside the Start menu's Programs folder, by product index 1..10 and
// language code 0..6. Rows 7..10 and columns 4..6 are empty. Throws std::out_of_range outside the table.
ByteStringView StartMenuGroupName(int productIndex, LanguageCode language);

// Why help shortcuts are missing: one that could not be made, an older one that could not be removed, or a
// step that made none.
struct ShortcutProblem {
    enum class Kind {
        NotMade,           // Path: the shortcut
        NotRemoved,        // Path: the older shortcut
        NoProgramsFolder,  // the current user's Start-menu Programs folder is not recorded (Path empty)
        NoGroupFolder,     // Path: the product's group, which the step never creates
        HelpFileMissing,   // Path: a help file of a topic, whose shortcuts are then not made
    };
    ByteString Path;
    Kind What = Kind::NotMade;
    unsigned long SystemCode = 0;  // the system's error number (an HRESULT from the shell), 0 where none
};

// For a product whose kind makes help shortcuts (MakesHelpShortcuts): in the product's existing Start-menu group (named
// in German; for a product without a group name, the Programs folder itself), replaces each help topic's older single
// shortcut by one shortcut to the Polish and one to the German help file, for each topic whose two help files are both
// in installDir. installDir is the directory as the update run holds it after its file loop, possibly empty. Any other
// kind does nothing at all. The group folder is never created, and no failure changes anything else: a failed step is
// skipped and the next one still tried. Answers what failed and what made no shortcut, for a log. Never throws.
std::vector<ShortcutProblem> CreateHelpShortcuts(const ProductProfile& profile,
                                                 ByteStringView installDir,
                                                 Registry& registry,
                                                 FileSystem& files,
                                                 Shell& shell) noexcept;

}  // namespace patcher
