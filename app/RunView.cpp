#include "app/RunView.h"

#include <thread>

#include "lang/MessageCatalogue.h"
#include "lang/MessageFormat.h"

namespace patcher {

ByteString Rendered(const ShownText& text) {
    const ByteStringView message = LookupMessage(text.Language, text.MessageId);
    // Only a message that takes arguments is formatted: the others are shown exactly as they stand.
    if (text.Arguments.empty()) {
        return ByteString(message);
    }
    const std::vector<ByteStringView> arguments(text.Arguments.begin(), text.Arguments.end());
    return FormatText(message, arguments);
}

void WindowlessView::Pause(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

void RunViewTee::SetMainText(const ShownText& text) {
    log_.SetMainText(text);
    window_.SetMainText(text);
}

void RunViewTee::AppendMainText(const ShownText& text) {
    log_.AppendMainText(text);
    window_.AppendMainText(text);
}

void RunViewTee::ShowProblem(const ShownText& text) {
    log_.ShowProblem(text);
    window_.ShowProblem(text);
}

std::optional<ByteString> RunViewTee::AskForProgramFile() {
    return window_.AskForProgramFile();
}

void RunViewTee::EnablePushButtons(bool enabled) {
    window_.EnablePushButtons(enabled);
}

void RunViewTee::FocusCloseButton() {
    window_.FocusCloseButton();
}

void RunViewTee::ProcessPendingMessages() {
    window_.ProcessPendingMessages();
}

void RunViewTee::Folder(const ProductFolder& folder) {
    log_.Folder(folder);
    window_.Folder(folder);
}

void RunViewTee::File(ByteStringView path, const FileReport& file) {
    log_.File(path, file);
    window_.File(path, file);
}

void RunViewTee::Shortcut(const ShortcutProblem& problem) {
    log_.Shortcut(problem);
    window_.Shortcut(problem);
}

void RunViewTee::Unexpected(std::string_view what) {
    log_.Unexpected(what);
    window_.Unexpected(what);
}

void RunViewTee::Pause(std::chrono::milliseconds pause) {
    window_.Pause(pause);
}

}  // namespace patcher
