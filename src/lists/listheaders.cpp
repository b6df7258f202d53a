#include "lists/listheaders.h"

#include <cstring>

#include "base/mailbox.h"
#include "base/text.h"
#include "driver/log.h"
#include "lists/listmail.h"
#include "mime/charsets.h"
#include "mime/headerencode.h"

namespace {

bool isatomtext(unsigned char c) {
    return isalnumc(c) || (c != 0 && c < 0x80 && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

// A phrase of atoms and single blanks, as it may stand unquoted.
bool plainphrase(std::string_view s) {
    if (s.empty() || s.front() == ' ' || s.back() == ' ') return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' ? s[i - 1] == ' ' : !isatomtext(c)) return false;
    }
    return true;
}

void appendphrase(std::string& out, std::string_view name, std::string_view charset) {
    if (!isplainascii(name)) {
        appendencoded(out, name, charset, SPOT_PHRASE);
    } else if (plainphrase(name)) {
        out.append(name);
    } else {
        out += '"';
        for (char c : name) {
            unsigned char u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F) c = ' ';
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
}

// A mailto: URL of an address: what a URL may not hold is percent-encoded.
std::string mailto(std::string_view address, std::string_view query = {}) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "mailto:";
    for (char c : address) {
        unsigned char u = static_cast<unsigned char>(c);
        if (isalnumc(u) || std::strchr("-._~!$'*+=@", c) != nullptr) {
            url += c;
        } else {
            url += '%';
            url += hex[u >> 4];
            url += hex[u & 15];
        }
    }
    return url.append(query);
}

// RFC 2919: the list's address with its "@" made a dot.
std::string listid(std::string_view address) {
    std::string id;
    for (char c : address) id += c == '@' ? '.' : c;
    return id;
}

}  // namespace

void appendnamedaddressline(std::string& out, std::string_view field, std::string_view name,
                            std::string_view address, std::string_view charset) {
    out.append(field).append(": ");
    if (!name.empty()) {
        appendphrase(out, name, charset);
        std::size_t nl = out.rfind('\n');
        std::size_t col = nl == std::string::npos ? out.size() : out.size() - nl - 1;
        out.append(col + address.size() + 3 > HEADERLINEFOLD ? "\n <" : " <");
        appendvalue(out, address);
        out.append(">\n");
    } else {
        appendvalue(out, address);
        out.append("\n");
    }
}

void appendlistlines(std::string& out, const listrecord& list, std::string_view charset) {
    const std::string address = list.listaddress.value_or("");
    appendnamedaddressline(out, "List-Id", list.listname.value_or(""), listid(address), charset);
    // Built by appending: GCC 12 warns about "literal" + std::string&&.
    std::string post(1, '<');
    post.append(mailto(address)).append(">");
    appendheaderline(out, "List-Post", post);
    std::string unsubscribe(1, '<');
    unsubscribe.append(mailto(address, "?subject=unsubscribe")).append(">");
    bool oneclick = list.unsubscribeurl && istartswith(*list.unsubscribeurl, "https://") &&
                    list.unsubscribeurl->find_first_of(" \t<>\",") == std::string::npos &&
                    isplainascii(*list.unsubscribeurl);
    if (oneclick) unsubscribe.insert(0, "<" + *list.unsubscribeurl + ">, ");
    appendheaderline(out, "List-Unsubscribe", unsubscribe);
    if (oneclick) appendheaderline(out, "List-Unsubscribe-Post", "List-Unsubscribe=One-Click");
}

std::string rewrittenname(const listrecord& list, std::string_view authoraddress,
                          std::string_view authorname) {
    std::string name(authorname.empty() || strieq(authorname, authoraddress) ? authoraddress : authorname);
    return name + " via " + list.listname.value_or("");
}

bool receiveslistmail(const listrecord& list, const memberdata& m) {
    if (m.status == STATUS_BLACKLISTED) return false;
    if (ismailbox(m.address.sv())) return true;
    logprintf("! member %s of list %s is no single Internet address: left out\n", m.address.c_str(),
              list.listname.value_or("").c_str());
    return false;
}
