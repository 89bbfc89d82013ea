// What a transfer's child process hands back to the program that started it
// (velmora-fetch on Linux, a copy of the program on Windows): one frame, a
// text header and then the body's raw bytes.
//
//   velmora-fetch 1\n
//   outcome: ok | not-modified | failed\n
//   charset: CHARSET\n          the Content-Type charset; may be empty
//   etag: ETAG\n                the answer's validators; may be empty
//   last-modified: DATE\n
//   error: TEXT\n               why it failed; empty unless failed
//   length: N\n                 the body's size in bytes, decimal
//   \n
//   N bytes of body (any bytes, NUL included), and nothing after them.
//
// The header lines come in this order and no other. Values never hold a line
// break or NUL (writing turns them into spaces) and are cut at
// kMaxFrameValueBytes, so the header stays under kMaxFrameHeaderBytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/fetch/http_fetch.h"
#include "platform/fetch/transfer_result.h"

namespace velmora {

inline constexpr std::size_t kMaxFrameValueBytes = 4096;
inline constexpr std::size_t kMaxFrameHeaderBytes = 32 * 1024;
// The most a reader needs to take in before the frame must have ended.
inline constexpr std::size_t kMaxFrameBytes = kMaxFrameHeaderBytes + kMaxDocumentBytes;

std::string EncodeFetchFrame(const TransferResult& transfer);

// The transfer's result a whole frame carries, a failed transfer included; a
// Failure of its own when the bytes are not exactly one well-formed frame
// (cut short, trailing bytes, an unknown header, a body over the cap).
Result<TransferResult> DecodeFetchFrame(std::string_view bytes);

}  // namespace velmora
