#pragma once

#include "common/ByteString.h"
#include "common/LanguageCode.h"
#include "platform/LogFile.h"

namespace patcher {

// The log that /LOG= asks for: a first line naming the patcher and how it was started, then every line that
// the run writes into the main text and every message it shows in a dialog, each in the language it is shown
// in, and last the exit code. A log that fails while the patcher runs is given up: the update goes on.
class RunLog {
  public:
    explicit RunLog(LogFile& file) : file_(file) {}

    // The first line: the local date and time, the program's name and the update's version, and the command
    // line, all three in UTF-8.
    void Start(ByteStringView localTime,
               ByteStringView programName,
               ByteStringView version,
               ByteStringView commandLine);
    // The main text as it now stands: the lines it has gained since the last call, each once it is complete
    // (a progress line only with its "OK" or "Error"). A text that replaces the last one first completes the
    // line the last one left open.
    void MainText(ByteStringView text, LanguageCode language);
    // A message shown in a dialog.
    void Dialog(ByteStringView text, LanguageCode language);
    // The lines still open, then the exit code.
    void End(int exitCode);

  private:
    void WriteLines(ByteStringView text, LanguageCode language);
    void Write(ByteStringView line, unsigned codePage) noexcept;
    void FinishOpenLine();

    LogFile& file_;
    ByteString mainText_;        // the main text as last given
    std::size_t written_ = 0;    // how much of it is in the log
    LanguageCode language_ = 0;  // the language it was given in
    bool failed_ = false;
};

}  // namespace patcher
