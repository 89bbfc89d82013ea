#include "platform/posix/iconv_decoder.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace velmora {
namespace {

class IconvHandle {
public:
    explicit IconvHandle(const std::string& from) : cd_(iconv_open("UTF-16LE", from.c_str())) {}
    ~IconvHandle() {
        if (ok()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

std::optional<Text> IconvDecode(std::string_view bytes, std::string_view charset) {
    std::string name = charset.empty() ? std::string("WINDOWS-1252") : std::string(charset);
    IconvHandle cd(name);
    if (!cd.ok()) return std::nullopt;

    Text out;
    char16_t buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        std::size_t rc = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, (sizeof buffer - outLeft) / 2);
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // An invalid or truncated sequence: one replacement character for the
        // byte, then go on after it.
        out.push_back(u'\uFFFD');
        ++in;
        --inLeft;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace velmora
