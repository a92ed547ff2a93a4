#pragma once

#include "app/CommandLine.h"
#include "common/ByteString.h"
#include "profile/ProductProfile.h"

namespace patcher {

// What /? shows in the message dialog: the options (only the languages that this product's window offers)
// and the exit codes, in Polish and then in English. Windows-1250 bytes.
ByteString CommandLineHelp(const ProductProfile& profile, ByteStringView programName);

// Why the command line was refused, in Polish and in English, one line each, then where the options are
// told. The argument at fault is shown as given, shortened where it is long. Windows-1250 bytes.
ByteString CommandLineErrorText(const CommandLineError& error);

// The same in two parts, for a log that reads the argument in its own code page: the text, whose lines each
// hold one "%s", and the argument as shown.
ByteString CommandLineErrorPattern(CommandLineError::Reason reason);
ByteString ShownArgument(const CommandLineError& error);

}  // namespace patcher
