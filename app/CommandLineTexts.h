#pragma once

#include "app/CommandLine.h"
#include "common/ByteString.h"
#include "profile/ProductProfile.h"

namespace patcher {

// What /? shows in the message dialog: the options (only the languages that this product's window offers)
// and the exit codes, in Polish and then in English. Windows-1250 bytes.
ByteString CommandLineHelp(const ProductProfile& profile, ByteStringView programName);

// Why the command line was refused, in Polish and in English, one line each, then where the options are
// told, with the argument at fault as given, shortened where it is long. Windows-1250 bytes. In two parts,
// so that a log reads the argument in its own code page.
struct RefusalText {
    ByteString Pattern;   // its lines each hold one "%s"
    ByteString Argument;  // as shown

    // The pattern with the argument in its places.
    ByteString Whole() const;
};
RefusalText RefusalTextOf(const CommandLineError& error);

}  // namespace patcher
