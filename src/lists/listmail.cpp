#include "lists/listmail.h"

#include <cstdio>

#include "base/clock.h"
#include "base/codec.h"
#include "base/identity.h"
#include "base/timezone.h"
#include "lists/listfiles.h"
#include "mime/charsets.h"
#include "mime/headerencode.h"

namespace {
// Added to lists.msgidcounter before every Message-ID; odd, so the counter
// runs through all 2^32 values before it repeats one.
constexpr std::uint32_t MSGIDSTEP = 965373151u;  // 0x398A6CDF
}  // namespace

void appendvalue(std::string& out, std::string_view value) {
    for (char c : value) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
}

void appendheaderline(std::string& out, std::string_view field, std::string_view value) {
    out.append(field).append(": ");
    appendvalue(out, value);
    out.append("\n");
}

void appendaddress(std::string& out, std::string_view address, std::string_view comment) {
    appendvalue(out, address);
    if (!comment.empty()) {
        out.append(" (");
        appendvalue(out, comment);
        out.append(")");
    }
}

void appendaddressline(std::string& out, std::string_view field, std::string_view address,
                       std::string_view comment, std::string_view charset) {
    out.append(field).append(": ");
    if (isplainascii(comment)) {
        appendaddress(out, address, comment);
    } else {
        // Readers show a display name; one in a comment most drop.
        appendencoded(out, comment, charset, SPOT_PHRASE);
        std::size_t nl = out.rfind('\n');
        std::size_t col = nl == std::string::npos ? out.size() : out.size() - nl - 1;
        out.append(col + address.size() + 3 > HEADERLINEFOLD ? "\n <" : " <");
        appendvalue(out, address);
        out.append(">");
    }
    out.append("\n");
}

void appendtextline(std::string& out, std::string_view field, std::string_view value,
                    std::string_view charset) {
    out.append(field).append(": ");
    appendencoded(out, value, charset);
    out.append("\n");
}

std::string_view listcharset() {
    return curmsg.outcharset;
}

void appenddateline(std::string& out, const msgtimes& t, long offset) {
    // The parsers never store a month outside 0..11; a stray one still
    // must not index past the name table.
    const int mon = t.month < 12 ? t.month : 0;
    char text[64];
    std::snprintf(text, sizeof text, "Date: %s, %02d %-3s %04d %02d:%02d:%02d",
                  weekday[dow(t.year, mon + 1, t.day)], t.day, month[mon], t.year, t.hour, t.minute,
                  t.second);
    out.append(text);
    out.append(" ");
    out.append(rfcoffset(offset));
    out.append("\n");
}

void appendmailserverline(std::string& out) {
    char text[64];
    std::snprintf(text, sizeof text, "X-MailServer: %s-%s v%d.%02d\n", PROGNAME, PROGOS, VERMAJOR,
                  VERMINOR);
    out.append(text);
}

std::uint32_t uniqueidnumber(std::string_view address, std::string_view subject, std::time_t now) {
    lists.msgidcounter += MSGIDSTEP;
    return crc32(address) ^ static_cast<std::uint32_t>(now) ^ crc32(subject) ^ lists.msgidcounter;
}

std::string postingmessageid(std::string_view msgid, std::string_view listaddress) {
    const std::size_t at = listaddress.rfind('@');
    const std::string_view listname = listaddress.substr(0, at);
    const std::string_view listdomain =
        at == std::string_view::npos ? std::string_view("localhost") : listaddress.substr(at + 1);
    std::string id = "<";
    if (!msgid.empty()) {
        // The posting's own id stays recognisable, its "@" a dot.
        for (char c : msgid) id.push_back(c == '@' ? '.' : c);
    } else {
        // Without an id of its own every such posting would share one
        // Message-ID, and receivers would drop all but the first.
        const std::uint32_t n =
            uniqueidnumber(curmsg.msgfromemail.sv(), curmsg.msgsubj.sv(), nowtime());
        id.append("post-").append(std::to_string(n));
    }
    id.append("-").append(listname).append("@").append(listdomain).append(">");
    return id;
}
