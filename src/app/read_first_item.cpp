#include "app/read_first_item.h"

#include <algorithm>

namespace velmora {

std::optional<Text> ReadFirstItem(const Text& content) {
    if (content.empty()) return std::nullopt;
    std::size_t i = 0;
    // Leading blanks belong to no item; tabs count as blanks too.
    while (i < content.size() && (content[i] == u' ' || content[i] == u'\t')) ++i;
    if (i < content.size() && content[i] == u'"') {
        // Runs to the next quote; an unclosed quote runs to the end of its
        // line, so the next line never becomes part of the address.
        std::size_t close = content.find(u'"', i + 1);
        if (close == Text::npos) close = std::min(content.find_first_of(u"\r\n", i + 1), content.size());
        return content.substr(i + 1, close - i - 1);
    }
    std::size_t end = content.find_first_of(u",\r\n", i);
    if (end == Text::npos) end = content.size();
    Text item = content.substr(i, end - i);
    // Blanks after an unquoted item are not part of it.
    while (!item.empty() && (item.back() == u' ' || item.back() == u'\t')) item.pop_back();
    return item;
}

}  // namespace velmora
