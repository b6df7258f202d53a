#include "import/ftnform.h"

#include <cstdlib>
#include <string>

#include "base/ftndomain.h"
#include "base/text.h"
#include "config/tables.h"

namespace {
// True when domain ends with "." followed by name, ignoring case.
bool dotsuffix(std::string_view domain, std::string_view name) {
    return domain.size() > name.size() && iendswith(domain, name) &&
           domain[domain.size() - name.size() - 1] == '.';
}

// The unsigned number at the start of text (0 without digits), as the
// 16-bit field it goes into.
std::uint16_t componentnumber(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isdigitc(static_cast<unsigned char>(text[n]))) ++n;
    std::string digits(text.substr(0, n));
    return static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 10));
}

// The local part of a Message-ID begins with a decimal number (a sign may
// precede its digits): the serial text, else empty.
std::string serialtext(std::string_view local) {
    std::size_t i = 0;
    if (i < local.size() && (local[i] == '+' || local[i] == '-')) ++i;
    if (i >= local.size() || !isdigitc(static_cast<unsigned char>(local[i]))) return {};
    while (i < local.size() && isdigitc(static_cast<unsigned char>(local[i]))) ++i;
    return std::string(local.substr(0, i));
}

// Shared by both identifier kinds; signedserial selects how the serial is read.
int decodeid(std::string_view id, fidoaddr& a, std::uint32_t& serial, bool signedserial) {
    std::size_t at = id.find('@');
    if (at == std::string_view::npos || !ismapdomain(id.substr(at + 1))) return 0;
    std::string num = serialtext(id.substr(0, at));
    if (num.empty()) return 0;
    fidoaddr decoded;
    if (!decodeftnaddr(id, decoded)) return 0;
    a = decoded;
    serial = signedserial ? static_cast<std::uint32_t>(std::strtol(num.c_str(), nullptr, 10))
                          : static_cast<std::uint32_t>(std::strtoul(num.c_str(), nullptr, 10));
    return 1;
}
}  // namespace

int ismapdomain(std::string_view domain) {
    if (dotsuffix(domain, DEFAULTFTNDOMAIN)) return 1;
    // FidoDomain entries without "#" name full addresses, not gateway domains.
    for (const domainentry& d : tables.fidodomain) {
        if (!d.domain.empty() && d.domain[0] == '#' &&
            dotsuffix(domain, std::string_view(d.domain).substr(1)))
            return 1;
    }
    return 0;
}

int hasmapdomain(std::string_view text) {
    std::size_t at = text.find('@');
    return at != std::string_view::npos && ismapdomain(text.substr(at + 1)) ? 1 : 0;
}

int decodeftnaddr(std::string_view text, fidoaddr& a) {
    std::size_t pos = text.find('@');
    if (pos == std::string_view::npos) return 0;
    fidoaddr r;
    std::uint16_t* fields[4] = {&r.point, &r.node, &r.net, &r.zone};
    static const char letters[] = "pfnz";
    for (int i = 0; i < 4; ++i) {
        if (pos + 1 >= text.size() ||
            lowerc(static_cast<unsigned char>(text[pos + 1])) != letters[i])
            continue;
        *fields[i] = componentnumber(text.substr(pos + 2));
        pos = text.find('.', pos + 2);
        if (pos == std::string_view::npos) return 0;  // no domain follows
    }
    a = r;
    return 1;
}

int decodeftnmsgid(std::string_view msgid, fidoaddr& a, std::uint32_t& serial) {
    return decodeid(msgid, a, serial, false);
}

int decodeftnreplyid(std::string_view replyid, fidoaddr& a, std::uint32_t& serial) {
    return decodeid(replyid, a, serial, true);
}
