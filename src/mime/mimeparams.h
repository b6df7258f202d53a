// The values of the MIME header fields Content-Type and
// Content-Disposition: the type (or disposition) and its parameters, with
// the RFC 2231 forms (name*=charset'lang'value, continuations name*0*,
// name*1*, ...) and the encoded words that some mail programs put inside
// quoted values (name="=?UTF-8?B?...?=").
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Most parameters kept of one field, and the longest value.
constexpr std::size_t MAXMIMEPARAMS = 64;
constexpr std::size_t MAXMIMEPARAMVALUE = 4096;

struct mimefield {
    std::string value;  // "text/plain", "attachment": lower case; empty when none
    // Parameter names in lower case, values in UTF-8 (decoded), in the
    // order met; a name occurs once (RFC 2231 pieces joined).
    std::vector<std::pair<std::string, std::string>> params;

    // The parameter's value, or null.
    const std::string* param(std::string_view name) const;
};

// Parses a field value (the text after "Content-Type:"). Never fails:
// whatever cannot be read is left out. A name given both plainly and in
// the RFC 2231 form takes the latter; values of unknown charsets are read
// as raw 8-bit text (UTF-8 when valid, else windows-1252).
mimefield parsemimefield(std::string_view value);
