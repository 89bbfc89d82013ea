// What a redirect may do, for both fetchers (libcurl and WinINet).
#pragma once

#include <string_view>

namespace velmora {

// Whether following a redirect from `from` (the address that answered) to
// `location` (its Location header, absolute or relative) leaves https for
// plain http. The item shown and the link opened would then come from an
// answer anyone on the way could have written, so the fetch must fail.
bool IsHttpsDowngrade(std::string_view from, std::string_view location);

}  // namespace velmora
