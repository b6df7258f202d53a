#include "import/headerstrip.h"

#include <vector>

#include "base/text.h"
#include "config/tables.h"

namespace {

// The fields StripKludges Some drops; a trailing "*" stands for any end.
// Mail services add dozens of such lines to every message: the route it
// took, signatures of every hop, spam scores and their own bookkeeping.
constexpr std::string_view somefields[] = {
    "Received",
    "Path",
    "References",
    "Return-Path",
    "Delivered-To",
    "X-Received",
    "Received-SPF",
    "Authentication-Results",
    "X-Original-Authentication-Results",
    "ARC-*",
    "DKIM-Signature",
    "DomainKey-Signature",
    "X-Google-*",
    "X-Gm-*",
    "X-MS-*",
    "X-Microsoft-*",
    "X-Forefront-*",
    "X-Exchange-*",
    "Thread-Index",
    "X-Spam-*",
    "X-Virus-*",
    "X-Proofpoint-*",
    "X-IronPort-*",
    "X-Mailgun-*",
    "X-SES-*",
    "Feedback-ID",
    "List-Unsubscribe-Post",
    "Autocrypt",
    "Autocrypt-Gossip",
};

// FidoNet control lines that a header field could pose as.
constexpr std::string_view kludgenames[] = {
    "MSGID", "REPLY",    "INTL",     "FMPT",    "TOPT",      "FLAGS",    "CHRS",
    "CHARSET", "CODEPAGE", "PID",    "TID",     "TZUTC",     "SPLIT",    "Via",
    "REPLYADDR", "REPLYTO", "JUNKMAIL", "JUNKMAIL-TO",
    // Echomail's own lines, which some tossers also take with 0x01 and in
    // any case (a news "Path:" would be read as the FidoNet PATH).
    "PATH", "SEEN-BY", "AREA", "EID", "DOMAIN", "RESCANNED",
};

// Whether the field name of the line (the text before its colon) matches
// pattern, ignoring case; a pattern ending in "*" matches any name it begins.
bool namematches(std::string_view name, std::string_view pattern) {
    if (!pattern.empty() && pattern.back() == '*') {
        pattern.remove_suffix(1);
        return istartswith(name, pattern);
    }
    return strieq(name, pattern);
}

// Names sorted by their first letter (ignoring case), so that a header
// line is held against the few that could match it: every line of every
// message passes here.
template <std::size_t N>
struct byletter {
    std::vector<std::string_view> lists[27];  // the last: names not beginning with a letter
    explicit byletter(const std::string_view (&names)[N]) {
        for (std::string_view n : names) lists[letter(n)].push_back(n);
    }
    // The first letter of n as 0 to 25, or 26 when it is no letter.
    static std::size_t letter(std::string_view n) {
        unsigned char c = n.empty() ? 0 : static_cast<unsigned char>(n[0]) | 0x20;
        return c >= 'a' && c <= 'z' ? c - 'a' : 26;
    }
    // The names that may match a line whose name begins as n does; none
    // for a name that does not begin with a letter.
    const std::vector<std::string_view>* candidates(std::string_view n) const {
        std::size_t l = letter(n);
        return l < 26 ? &lists[l] : nullptr;
    }
};

bool listed(std::string_view name) {
    static const byletter table(somefields);
    const auto* list = table.candidates(name);
    if (!list) return false;
    for (std::string_view f : *list) {
        if (namematches(name, f)) return true;
    }
    return false;
}

bool kept(std::string_view name) {
    for (const std::string& k : tables.keepheader) {
        if (namematches(name, k)) return true;
    }
    return false;
}

}  // namespace

bool strippedheader(std::string_view line, int level) {
    if (level == STRIP_YES) return true;
    if (level != STRIP_SOME) return false;
    std::size_t colon = line.find(':');
    std::string_view name = line.substr(0, colon == std::string_view::npos ? line.size() : colon);
    return listed(name) && !kept(name);
}

bool iskludgefield(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    static const byletter table(kludgenames);
    const auto* list = table.candidates(name);
    if (!list) return false;
    for (std::string_view k : *list) {
        if (strieq(name, k)) return true;
    }
    return false;
}
