#pragma once

#include <cstdint>

namespace patcher {

// What a product's kind (ProductProfile::ProductKind, 1..6) decides, one accessor per trait. The table of
// kinds lives in profile/ProductKinds.cpp and nowhere else:
//
//   kind  installation record                         English flag  asks for program file  help shortcuts
//    1    product key, current user then local machine    offered          no                   no
//    2    product key, current user then local machine    offered          no                   no
//    3    product key, current user then local machine    offered          no                   no
//    4    fixed key of the local machine, plain text      hidden           yes                  no
//    5    product key, current user then local machine    hidden           no                   no
//    6    product key, current user then local machine    offered          no                   yes
//
// A kind outside 1..6 has no record (nothing is ever found) and none of the optional steps.

// Where the product's installer records the installation directory.
enum class InstallRecord {
    None,        // nowhere: the lookup finds nothing
    ProductKey,  // the product's row of ProductKeyTable, scrambled, in the current user's hive and then the
                 // local machine's
    FixedKey,    // one fixed key of the local machine's hive, as plain text
};
InstallRecord InstallRecordOf(std::int32_t kind) noexcept;

// The main window hides the English flag, whatever the product's language.
bool HidesEnglishFlag(std::int32_t kind) noexcept;

// Without an existing recorded directory, the run asks the user for the product's program file.
bool AsksForProgramFile(std::int32_t kind) noexcept;

// The run ends by placing shortcuts to the Polish and German help files in the Start menu.
bool MakesHelpShortcuts(std::int32_t kind) noexcept;

}  // namespace patcher
