// velmora-fetch: one feed transfer for the Linux program, in a process of its
// own so that libcurl and its TLS stack stay out of the resident program.
//
//   velmora-fetch URL [CONDITIONAL-HEADER-LINE...]
//
// The header lines are the parent's "If-None-Match: …" / "If-Modified-Since: …"
// from its validator cache. The outcome goes to standard output as one frame
// (fetch_frame.h), a failed transfer included; exit status 0 means the frame
// was written, 1 that writing it failed, 2 a usage error.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fetch/fetch_frame.h"
#include "platform/posix/curl_transfer.h"

namespace {

// Only conditional-request lines, and nothing that could start another line.
bool IsConditionalHeader(std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos) return false;
    return line.starts_with("If-None-Match: ") || line.starts_with("If-Modified-Since: ");
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora-fetch URL [CONDITIONAL-HEADER-LINE...]\n");
        return 2;
    }
    std::vector<std::string> headers;
    for (int i = 2; i < argc; ++i) {
        if (!IsConditionalHeader(argv[i])) {
            std::fprintf(stderr, "velmora-fetch: not a conditional request header: %s\n", argv[i]);
            return 2;
        }
        headers.emplace_back(argv[i]);
    }
    const velmora::TransferResult transfer = velmora::RunCurlTransfer(velmora::Utf8ToText(argv[1]), headers);
    return WriteAll(STDOUT_FILENO, velmora::EncodeFetchFrame(transfer)) ? 0 : 1;
}
