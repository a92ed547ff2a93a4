#include "tools/patchkit/OutputFiles.h"

#include <fstream>
#include <stdexcept>

namespace patcher::patchkit {

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void WriteTextFile(const std::string& path, std::string_view text) {
    WriteWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace patcher::patchkit
