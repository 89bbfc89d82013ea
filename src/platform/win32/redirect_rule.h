// Which redirects a fetch follows, apart from the hop limit: a plain function
// of the two addresses, so that it is checked on any machine.
#pragma once

#include <string_view>

namespace velmora::win32 {

// True when `from` is an https address and `to` is not: what the item says,
// and the link the user opens, would then come from an unauthenticated
// answer. http to https, and https to https, are followed.
inline bool IsRedirectDowngrade(std::u16string_view from, std::u16string_view to) {
    auto isHttps = [](std::u16string_view url) {
        constexpr std::u16string_view kScheme = u"https:";
        if (url.size() < kScheme.size()) return false;
        for (std::size_t i = 0; i < kScheme.size(); ++i) {
            char16_t c = url[i];
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
            if (c != kScheme[i]) return false;
        }
        return true;
    };
    return isHttps(from) && !isHttps(to);
}

}  // namespace velmora::win32
