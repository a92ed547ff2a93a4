#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace patcher::patchkit::win32 {

// UTF-8 text that arrives in pieces, turned into UTF-16 a whole character at a time: a character whose bytes
// a piece splits waits for the next piece. Bytes that are no UTF-8 become U+FFFD.
class Utf8Pieces {
  public:
    std::wstring Take(std::string_view piece);
    // What is left at the end: an incomplete character, as U+FFFD.
    std::wstring Rest();

  private:
    std::string pending_;
};

// One of the C runtime's standard descriptors (1 or 2) where it is a console: what the program writes to it,
// UTF-8 bytes, goes through a pipe to a thread that writes it to the console in UTF-16 (WriteConsoleW), so
// that every letter shows whatever the console's code page. Where the descriptor is no console (a file, a
// pipe), it takes the bytes as they are, line ends unchanged. Destroying it flushes the C runtime's stream
// and waits until the console has everything.
class ConsoleText {
  public:
    ConsoleText(int descriptor, FILE* stream);
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;
    ~ConsoleText();

  private:
    void Forward(HANDLE console, int from);

    int descriptor_;
    FILE* stream_;
    int saved_ = -1;   // the descriptor of the console, put back at the end
    int reader_ = -1;  // the pipe's end that the thread reads
    std::thread forwarding_;
};

}  // namespace patcher::patchkit::win32
