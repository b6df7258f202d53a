#include "pkt/ftnmeaning.h"

#include <cctype>
#include <map>
#include <set>
#include <vector>

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool startsnocase(const std::string& line, const std::string& prefix) {
    return line.size() >= prefix.size() && upper(line.substr(0, prefix.size())) == upper(prefix);
}

// How the bytes above 0x7F of a text count.
enum textsets { SET_8BIT, SET_UTF8, SET_ISO8859 };

// A control byte in text of the set: "" when there is none.
std::string control(const std::string& s, int set) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return "control byte " + std::to_string(c);
        if (set == SET_ISO8859 && c >= 0x80 && c < 0xA0) return "C1 byte " + std::to_string(c);
        if (set != SET_UTF8) continue;
        unsigned char c1 = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        unsigned char c2 = i + 2 < s.size() ? static_cast<unsigned char>(s[i + 2]) : 0;
        if (c == 0xC2 && c1 >= 0x80 && c1 < 0xA0) return "C1 control";
        if (c == 0xE2 && c1 == 0x80 && c2 >= 0xAA && c2 <= 0xAE) return "bidirectional override";
        if (c == 0xE2 && c1 == 0x81 && c2 >= 0xA6 && c2 <= 0xA9) return "bidirectional isolate";
    }
    return "";
}

// The lines of a text, broken at carriage returns and line feeds.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    // What follows the last line end is no line.
    if (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// The names that FidoNet programs read as control lines (FTS-4000 and the
// common practice): a line beginning with 0x01 and one of them is a kludge
// that means something.
const std::set<std::string> FTNNAMES = {
    "INTL",  "FMPT",    "TOPT",     "MSGID",     "REPLY", "PID",       "TID",
    "SPLIT", "CHRS",    "CHARSET",  "CODEPAGE",  "TZUTC", "VIA",       "PATH",
    "FLAGS", "DOMAIN",  "EID",      "SEEN-BY",   "AREA",  "REPLYADDR", "REPLYTO",
    "JUNKMAIL", "JUNKMAIL-TO", "RESCANNED", "ACUPDATE", "ZONEGATE",
};

// The kludge's name: up to its first blank or colon.
std::string kludgename(const std::string& line) {
    std::size_t end = line.find_first_of(" :", 1);
    return line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

bool istearline(const std::string& line) {
    return line.size() >= 3 && line.compare(0, 3, "---") == 0 &&
           (line.size() == 3 || static_cast<unsigned char>(line[3]) <= ' ');
}

// A header field kept as a kludge: a field name of printable characters
// and a colon, or the first piece of a name too long for one line.
bool isfieldcopy(const std::string& line) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) colon = line.size();
    if (colon < 2) return false;
    for (std::size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c <= ' ' || c >= 0x7F) return false;
    }
    return true;
}

}  // namespace

std::string checkmeaning(const checkedmessage& m, const expectedmeaning& e) {
    std::vector<std::string> ls = lines(m.text);
    int set = SET_8BIT;
    for (const std::string& l : ls) {
        if (l.compare(0, 7, "\x01" "CHRS: ") != 0) continue;
        if (startsnocase(l.substr(7), "UTF-8")) set = SET_UTF8;
        if (startsnocase(l.substr(7), "LATIN-") || startsnocase(l.substr(7), "ISO-8859")) set = SET_ISO8859;
    }
    const std::pair<const char*, const std::string*> fields[] = {
        {"to", &m.toname}, {"from", &m.fromname}, {"subject", &m.subject}};
    for (const auto& [name, value] : fields) {
        std::string c = control(*value, set);
        if (!c.empty()) return std::string(name) + " field: " + c;
    }
    bool echo = !e.area.empty();
    std::map<std::string, int> own;
    int tear = -1, origin = -1, seenby = -1, path = -1;
    for (std::size_t i = 0; i < ls.size(); ++i) {
        const std::string& l = ls[i];
        std::string where = "line " + std::to_string(i) + " \"" + l.substr(0, 40) + "\": ";
        if (!l.empty() && l[0] == '\x01') {
            std::string c = control(l.substr(1), set);
            if (!c.empty()) return where + "kludge with " + c;
            if (l.compare(0, 3, "\x01  ") == 0) continue;  // a continuation of a field
            std::string name = upper(kludgename(l));
            if (!FTNNAMES.count(name)) {
                if (!isfieldcopy(l)) return where + "kludge that is no header field";
                continue;
            }
            ++own[name];
            if (name == "INTL" && ("|" + e.intl + "|").find("|" + l.substr(6) + "|") == std::string::npos)
                return where + "INTL other than the gateway's";
            if (name == "PID" && l != "\x01PID: PondLark-Linux v1.05") return where + "foreign PID";
            if (name == "PATH") {
                if (!echo || l != "\x01PATH: " + e.netnode) return where + "foreign PATH";
                path = static_cast<int>(i);
            }
            if (name == "VIA" && (echo || l.compare(0, 5, "\x01Via ") != 0)) return where + "foreign Via";
            static const std::set<std::string> written = {"INTL",  "PID",       "MSGID",   "REPLY",
                                                          "SPLIT", "CHRS",      "TZUTC",   "VIA",
                                                          "PATH",  "REPLYADDR", "REPLYTO"};
            bool junkmark = e.junk && (name == "JUNKMAIL" || name == "JUNKMAIL-TO");
            if (!written.count(name) && !junkmark) return where + "kludge the gateway does not write";
            continue;
        }
        if (l.find('\x01') != std::string::npos) return where + "0x01 inside a line";
        if (startsnocase(l, "AREA:")) {
            if (i != 0 || !echo || l != "AREA:" + e.area) return where + "foreign AREA line";
            continue;
        }
        if (i == 0 && echo) return where + "echomail without its AREA line";
        if (startsnocase(l, "SEEN-BY:")) {
            if (!echo || seenby >= 0 || l != "SEEN-BY: " + e.netnode) return where + "foreign SEEN-BY";
            seenby = static_cast<int>(i);
            continue;
        }
        if (istearline(l)) {
            if (tear >= 0) return where + "a second tear line";
            tear = static_cast<int>(i);
            continue;
        }
        if (startsnocase(l, " * Origin:")) {
            if (origin >= 0) return where + "a second origin line";
            if (l.size() < e.origin.size() + 3 || l.compare(l.size() - e.origin.size() - 2, std::string::npos, "(" + e.origin + ")") != 0)
                return where + "origin of another address";
            std::string c = control(l, set);
            if (!c.empty()) return where + "origin with " + c;
            origin = static_cast<int>(i);
            continue;
        }
        if (seenby >= 0 || origin >= 0) return where + "text after the trailer began";
    }
    for (const char* once : {"INTL", "PID"}) {
        if (own[once] != 1) return std::string("not exactly one ") + once;
    }
    for (const char* most : {"MSGID", "REPLY", "SPLIT", "CHRS", "TZUTC", "REPLYADDR", "REPLYTO"}) {
        if (own[most] > 1) return std::string("more than one ") + most;
    }
    if (origin < 0 || tear != origin - 1) return "no tear line right before the one origin line";
    if (echo && (seenby != origin + 1 || path != seenby + 1)) return "SEEN-BY and PATH not right after the origin";
    if (!echo && own["VIA"] != 1) return "netmail without its Via line";
    return "";
}
