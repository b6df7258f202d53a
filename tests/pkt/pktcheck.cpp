#include "pkt/pktcheck.h"

#include <cstdio>
#include <regex>

namespace {

// FTS-0001: all words are stored low byte first.
unsigned word(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::string at(std::size_t offset, const std::string& what) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "offset %zu: ", offset);
    return buf + what;
}

// Reads a zero-terminated field that may take at most size bytes with its
// zero (FTS-0001: DateTime 20, toUserName and fromUserName 36, subject 72).
bool readfield(const std::string& b, std::size_t& pos, std::size_t size, std::string& out,
               std::string& error, const char* name) {
    std::size_t start = pos;
    while (pos < b.size() && b[pos] != '\0') {
        if (pos - start + 1 >= size) {
            error = at(start, std::string(name) + " longer than the field allows");
            return false;
        }
        ++pos;
    }
    if (pos >= b.size()) {
        error = at(start, std::string(name) + " not terminated before the end of the file");
        return false;
    }
    out = b.substr(start, pos - start);
    ++pos;
    return true;
}

// FTS-0001 date: "DD MMM YY  HH:MM:SS".
bool fts1date(const std::string& d) {
    static const std::regex form(
        "\\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \\d\\d  \\d\\d:\\d\\d:\\d\\d");
    return std::regex_match(d, form);
}

std::string checkheader(const std::string& b, checkedpacket& p) {
    if (b.size() < 58) return "shorter than the 58-byte packet header";
    if (word(b, 18) != 2) return at(18, "packet type is not 2");
    unsigned month = word(b, 6), day = word(b, 8);
    if (month > 11 || day < 1 || day > 31 || word(b, 10) > 23 || word(b, 12) > 59 ||
        word(b, 14) > 59) {
        return at(4, "date or time out of range");
    }
    // FSC-0048: the validation copy at 40 is the capability word at 44 with
    // its bytes swapped; bit 0 announces the type 2+ fields.
    if (b[40] != b[45] || b[41] != b[44])
        return at(40, "capability validation copy does not match");
    unsigned capword = word(b, 44);
    if ((capword & 1) == 0) return at(44, "capability word lacks type 2+");
    if (word(b, 34) != word(b, 46) || word(b, 36) != word(b, 48)) {
        return at(34, "zone copies disagree");
    }
    // The password is padded with zero bytes; no text follows its end.
    std::size_t len = 0;
    while (len < 8 && b[26 + len] != '\0') ++len;
    for (std::size_t i = len; i < 8; ++i) {
        if (b[26 + i] != '\0') return at(26 + i, "password padding is not zero");
    }
    p.password = b.substr(26, len);
    p.orignode = static_cast<std::uint16_t>(word(b, 0));
    p.destnode = static_cast<std::uint16_t>(word(b, 2));
    p.orignet = static_cast<std::uint16_t>(word(b, 20));
    p.destnet = static_cast<std::uint16_t>(word(b, 22));
    p.origzone = static_cast<std::uint16_t>(word(b, 46));
    p.destzone = static_cast<std::uint16_t>(word(b, 48));
    p.origpoint = static_cast<std::uint16_t>(word(b, 50));
    p.destpoint = static_cast<std::uint16_t>(word(b, 52));
    // A point that writes -1 as its net must give the real net as auxnet.
    if (p.orignet == 0xFFFF && (p.origpoint == 0 || word(b, 38) == 0)) {
        return at(38, "net -1 without a point and auxiliary net");
    }
    return "";
}

// FTS-4000: a control line begins with 0x01 at the start of a line; an
// echomail area line (FTS-0004) can only be the first line. FTS-0001: a
// line feed after a carriage return is ignored.
std::string checktext(const std::string& text, std::size_t offset) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool linestart = i == 0 || text[i - 1] == '\r' ||
                         (i > 1 && text[i - 1] == '\n' && text[i - 2] == '\r');
        if (text[i] == '\x01' && !linestart) {
            return at(offset + i, "control byte 0x01 inside a line");
        }
        if (i > 0 && text[i - 1] == '\r' && text.compare(i, 5, "AREA:") == 0) {
            return at(offset + i, "AREA line is not the first line");
        }
    }
    return "";
}

std::string checkmessage(const std::string& b, std::size_t& pos, checkedmessage& m) {
    m.offset = pos;
    if (b.size() - pos < 14) return at(pos, "packed message header cut short");
    if (word(b, pos) != 2) return at(pos, "message type is not 2");
    m.orignode = static_cast<std::uint16_t>(word(b, pos + 2));
    m.destnode = static_cast<std::uint16_t>(word(b, pos + 4));
    m.orignet = static_cast<std::uint16_t>(word(b, pos + 6));
    m.destnet = static_cast<std::uint16_t>(word(b, pos + 8));
    m.attribute = static_cast<std::uint16_t>(word(b, pos + 10));
    m.cost = static_cast<std::uint16_t>(word(b, pos + 12));
    pos += 14;
    std::string error;
    std::size_t datepos = pos;
    if (!readfield(b, pos, 20, m.datetime, error, "date") ||
        !readfield(b, pos, 36, m.toname, error, "to-name") ||
        !readfield(b, pos, 36, m.fromname, error, "from-name") ||
        !readfield(b, pos, 72, m.subject, error, "subject")) {
        return error;
    }
    if (!fts1date(m.datetime)) return at(datepos, "date is not in the form DD MMM YY  HH:MM:SS");
    std::size_t textpos = pos;
    std::size_t end = b.find('\0', pos);
    if (end == std::string::npos) return at(textpos, "message text not ended by a zero byte");
    m.text = b.substr(textpos, end - textpos);
    pos = end + 1;
    return checktext(m.text, textpos);
}

}  // namespace

checkedpacket checkpacket(const std::string& b) {
    checkedpacket p;
    p.error = checkheader(b, p);
    if (!p.error.empty()) return p;
    std::size_t pos = 58;
    for (;;) {
        if (b.size() - pos < 2) {
            p.error = at(pos, "no terminating zero word");
            return p;
        }
        if (word(b, pos) == 0) break;
        checkedmessage m;
        p.error = checkmessage(b, pos, m);
        if (!p.error.empty()) return p;
        p.messages.push_back(std::move(m));
    }
    if (pos + 2 != b.size()) p.error = at(pos + 2, "data after the terminating zero word");
    return p;
}
