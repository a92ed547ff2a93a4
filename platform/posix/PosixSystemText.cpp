// The system's words for its error numbers, its code pages and its clock, where the program's logic is
// tested and measured: error numbers are errno values there.
#include <iconv.h>
#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/LocalClock.h"
#include "platform/SystemErrors.h"
#include "platform/TextCodePages.h"

namespace patcher {
namespace {

class PosixClock final : public LocalClock {
  public:
    LocalTime Now() override {
        timeval now{};
        ::gettimeofday(&now, nullptr);
        std::tm local{};
        const std::time_t seconds = now.tv_sec;
        ::localtime_r(&seconds, &local);
        return {local.tm_year + 1900,
                local.tm_mon + 1,
                local.tm_mday,
                local.tm_hour,
                local.tm_min,
                local.tm_sec,
                static_cast<int>(now.tv_usec / 1000),
                static_cast<int>(local.tm_gmtoff / 60)};
    }
};

// One iconv conversion descriptor, closed on every path.
class Converter {
  public:
    explicit Converter(const std::string& from, const std::string& to = "UTF-8")
        : handle_(::iconv_open(to.c_str(), from.c_str())) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (Valid()) {
            ::iconv_close(handle_);
        }
    }
    bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return handle_; }

  private:
    iconv_t handle_;
};

std::string IconvName(unsigned codePage) {
    return codePage == kCodePageUtf8 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

}  // namespace

SystemFault ClassifySystemError(unsigned long code) noexcept {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return SystemFault::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return SystemFault::AccessDenied;
        case EBUSY:
        case ETXTBSY:
            return SystemFault::InUse;
        case ENOSPC:
        case EDQUOT:
            return SystemFault::DiskFull;
        default:
            return SystemFault::Other;
    }
}

std::string SystemErrorText(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}

unsigned AnsiCodePage() noexcept {
    return 1250;  // the product's own, which its paths are written in
}

std::string Utf8FromCodePage(ByteStringView text, unsigned codePage) {
    const Converter converter(IconvName(codePage));
    std::string out;
    std::string in(text);
    char* from = in.data();
    std::size_t fromLeft = in.size();
    while (fromLeft > 0) {
        char buffer[256];
        char* to = buffer;
        std::size_t toLeft = sizeof(buffer);
        const std::size_t done =
            converter.Valid() ? ::iconv(converter.Get(), &from, &fromLeft, &to, &toLeft) : static_cast<std::size_t>(-1);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte the code page leaves undefined (or no converter at all): stands for itself no more.
            out += "\xEF\xBF\xBD";
            ++from;
            --fromLeft;
        }
    }
    return out;
}

std::array<bool, 256> AnsiLeadBytes() noexcept {
    return {};
}

std::optional<ByteString> Reencoded(ByteStringView text, unsigned from, unsigned to) {
    const Converter converter(IconvName(from), IconvName(to));
    if (!converter.Valid()) {
        return std::nullopt;
    }
    std::string in(text);
    char* input = in.data();
    std::size_t inputLeft = in.size();
    ByteString out(in.size() * 4 + 4, '\0');
    char* output = out.data();
    std::size_t outputLeft = out.size();
    if (::iconv(converter.Get(), &input, &inputLeft, &output, &outputLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - outputLeft);
    return out;
}

std::size_t Utf16Length(ByteStringView text, unsigned codePage) {
    std::size_t units = 0;
    for (const char c : Utf8FromCodePage(text, codePage)) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) != 0x80 ? (byte >= 0xF0 ? 2 : 1) : 0;
    }
    return units;
}

LocalClock& SystemClock() {
    static PosixClock clock;
    return clock;
}

}  // namespace patcher
