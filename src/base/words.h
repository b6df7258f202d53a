// Words of a configuration value or a protocol line, separated by blanks
// and tabs. No hidden inputs.
#pragma once

#include <string_view>

// The next word of s ("" when none is left); s keeps what follows it.
inline std::string_view nextword(std::string_view& s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) {
        s = {};
        return {};
    }
    s.remove_prefix(b);
    std::size_t e = s.find_first_of(" \t");
    std::string_view w = s.substr(0, e);
    s = e == std::string_view::npos ? std::string_view() : s.substr(e);
    return w;
}
