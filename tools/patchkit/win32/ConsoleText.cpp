#include "tools/patchkit/win32/ConsoleText.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <climits>

namespace patcher::patchkit::win32 {
namespace {

// How many bytes a UTF-8 sequence takes, by its first byte; 0 for a byte that begins none.
std::size_t SequenceLength(unsigned char first) {
    if (first < 0x80) {
        return 1;
    }
    if ((first & 0xE0) == 0xC0) {
        return 2;
    }
    if ((first & 0xF0) == 0xE0) {
        return 3;
    }
    return (first & 0xF8) == 0xF0 ? 4 : 0;
}

std::wstring Wide(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX / 2) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    std::wstring text(bytes.size(), L'\0');
    const int made = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, text.data(), length);
    text.resize(static_cast<std::size_t>(std::max(made, 0)));
    return text;
}

void WriteTo(HANDLE console, std::wstring_view text) {
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 8192));
        if (!::WriteConsoleW(console, text.data(), chunk, &written, nullptr) || written == 0) {
            return;  // a console that takes nothing more: what is left is lost with it
        }
        text.remove_prefix(written);
    }
}

}  // namespace

std::wstring Utf8Pieces::Take(std::string_view piece) {
    pending_ += piece;
    // The last character may lack bytes still: its first byte is among the last three.
    std::size_t complete = pending_.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, pending_.size()); ++back) {
        const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        if (SequenceLength(byte) > back) {
            complete = pending_.size() - back;
        }
        break;
    }
    std::wstring text = Wide(std::string_view(pending_).substr(0, complete));
    pending_.erase(0, complete);
    return text;
}

std::wstring Utf8Pieces::Rest() {
    std::wstring text = Wide(pending_);
    pending_.clear();
    return text;
}

ConsoleText::ConsoleText(int descriptor, FILE* stream) : descriptor_(descriptor), stream_(stream) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
        ::_setmode(descriptor, _O_BINARY);
        return;
    }
    int ends[2] = {-1, -1};
    if (::_pipe(ends, 64 * 1024, _O_BINARY | _O_NOINHERIT) != 0) {
        return;  // the console then gets the bytes as the C runtime writes them
    }
    std::fflush(stream);
    saved_ = ::_dup(descriptor);
    ::_dup2(ends[1], descriptor);
    ::_close(ends[1]);
    reader_ = ends[0];
    // The console's own handle is the saved descriptor's: the one that the descriptor had is closed now.
    const auto console = reinterpret_cast<HANDLE>(::_get_osfhandle(saved_));
    forwarding_ = std::thread([this, console] { Forward(console, reader_); });
}

ConsoleText::~ConsoleText() {
    std::fflush(stream_);
    if (reader_ < 0) {
        return;
    }
    // The pipe's only writing end closes: the thread reads to its end, and the console is the descriptor's again.
    ::_dup2(saved_, descriptor_);
    forwarding_.join();
    ::_close(reader_);
    ::_close(saved_);
}

void ConsoleText::Forward(HANDLE console, int from) {
    Utf8Pieces pieces;
    char buffer[4096];
    int got = 0;
    while ((got = ::_read(from, buffer, sizeof buffer)) > 0) {
        WriteTo(console, pieces.Take(std::string_view(buffer, static_cast<std::size_t>(got))));
    }
    WriteTo(console, pieces.Rest());
}

}  // namespace patcher::patchkit::win32
