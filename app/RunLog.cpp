#include "app/RunLog.h"

#include <exception>
#include <string>

#include "lang/LanguageRules.h"

namespace patcher {
namespace {

constexpr ByteStringView kLineBreak = "\r\n";

unsigned CodePageOf(LanguageCode language) {
    return CharsetCodePage(LanguageCharset[language < kLanguageCount ? language : kPolish]);
}

}  // namespace

void RunLog::Start(ByteStringView localTime,
                   ByteStringView programName,
                   ByteStringView version,
                   ByteStringView commandLine) {
    ByteString line(localTime);
    line.append(" ").append(programName).append(" ").append(version).append(": ").append(commandLine);
    Write(line, kCodePageUtf8);
}

void RunLog::MainText(ByteStringView text, LanguageCode language) {
    if (!text.starts_with(ByteStringView(mainText_).substr(0, written_))) {
        // A new text (the introduction again, the summary): what the last one left open is complete now.
        FinishOpenLine();
        written_ = 0;
    }
    mainText_ = ByteString(text);
    language_ = language;
    for (std::size_t end = mainText_.find(kLineBreak, written_); end != ByteString::npos;
         end = mainText_.find(kLineBreak, written_)) {
        WriteLines(ByteStringView(mainText_).substr(written_, end - written_), language_);
        written_ = end + kLineBreak.size();
    }
}

void RunLog::Dialog(ByteStringView text, LanguageCode language) {
    WriteLines(text, language);
}

void RunLog::End(int exitCode) {
    FinishOpenLine();
    Write("exit code " + std::to_string(exitCode), kCodePageUtf8);
}

void RunLog::FinishOpenLine() {
    if (written_ < mainText_.size()) {
        WriteLines(ByteStringView(mainText_).substr(written_), language_);
    }
    written_ = mainText_.size();
}

// Each line of the text that holds something: the blank lines between paragraphs tell a reader of the log
// nothing.
void RunLog::WriteLines(ByteStringView text, LanguageCode language) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(kLineBreak, start);
        if (end == ByteStringView::npos) {
            end = text.size();
        }
        if (end > start) {
            Write(text.substr(start, end - start), CodePageOf(language));
        }
        start = end + kLineBreak.size();
    }
}

void RunLog::Write(ByteStringView line, unsigned codePage) noexcept {
    if (failed_) {
        return;
    }
    try {
        file_.AppendLine(line, codePage);
    } catch (const std::exception&) {
        // A full disk, a file taken away: the log ends there, the update goes on.
        failed_ = true;
    }
}

}  // namespace patcher
