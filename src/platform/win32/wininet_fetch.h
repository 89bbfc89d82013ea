// The WinINet transfer with its whole-transfer limit as a parameter, for the
// check that drives it with a short one; the programs use StartHttpFetch.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace velmora::win32 {

std::unique_ptr<FetchRequest> StartWinInetFetch(const Text& url, std::function<void()> wake,
                                                std::chrono::milliseconds limit);

}  // namespace velmora::win32
