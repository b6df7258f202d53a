// The viewer's FidoNet side: packets and stored messages as descriptions,
// read through the export's packet input and header layouts.
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"
#include "export/pktinput.h"
#include "export/storedmsg.h"
#include "mime/charsets.h"
#include "pkt/pktappend.h"
#include "pkt/pktlayout.h"
#include "show/view.h"
#include "show/viewtext.h"

namespace {

std::string address(unsigned zone, unsigned net, unsigned node, unsigned point) {
    std::string s = std::to_string(zone) + ":" + std::to_string(net) + "/" + std::to_string(node);
    if (point) s += "." + std::to_string(point);
    return s;
}

// "orig -> dest attr 0x0001 (private)", the form of the "msg:" and
// "stored:" lines.
std::string msgline(unsigned onet, unsigned onode, unsigned dnet, unsigned dnode, unsigned attr) {
    std::string s;
    pktappendf(s, "%u/%u -> %u/%u attr 0x%04X", onet, onode, dnet, dnode, attr);
    std::string words = attributewords(attr);
    if (!words.empty()) s += " (" + words + ")";
    return s;
}

// Reads a zero-terminated string; false when the file ended first.
bool readzstring(pktinput& in, std::string& s) {
    s.clear();
    for (;;) {
        int c = in.getbyte();
        if (c < 0) return false;
        if (c == 0) return true;
        s.push_back(static_cast<char>(c));
    }
}

// The character set the CHRS (or CHARSET) kludge of a text names, as ICU
// knows it, and the identifier as written; empty when none or unknown.
std::string textcharset(const std::vector<std::string>& lines, std::string& identifier) {
    for (const std::string& l : lines) {
        std::string_view v = l;
        if (v.empty() || v[0] != '\x01') continue;
        v.remove_prefix(1);
        for (std::string_view key : {"CHRS:", "CHARSET:"}) {
            if (!istartswith(v, key)) continue;
            identifier = std::string(v.substr(key.size()));
            trim(identifier);
            return fidocharsetname(identifier);
        }
    }
    return {};
}

// Lines of a message text: each carriage return ends one. A line feed
// right after it is the soft line feed of old editors, left out unless the
// bytes are wanted as they are. unended: the text's last bytes have no
// carriage return after them.
std::vector<std::string> textlines(const std::string& text, bool raw, bool& unended) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        if (!raw && text[start] == '\n' && start > 0 && text[start - 1] == '\r') {
            ++start;
            continue;
        }
        std::size_t cr = text.find('\r', start);
        if (cr == std::string::npos) break;
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
    }
    unended = start < text.size();
    if (unended) lines.push_back(text.substr(start));
    return lines;
}

// The note import writes into a message for each file it found encoded.
const std::regex& filenote() {
    static const std::regex r(
        "\\[PondLark (decoded|killed|ignored) (MIME|UU)-encoded file (.+) \\((\\d+) bytes\\)"
        "( \\(auto-renamed\\))?\\]");
    return r;
}

// The text between "text:" and ".", and after it the files the message
// names: decoded ones (beside the packet when they are there) and, for a
// file-attach message, those of its subject.
void viewmsgtext(const std::string& text, const std::string& subject, unsigned attr,
                 const std::string& path, const viewoptions& o, std::string& out) {
    bool unended = false;
    std::vector<std::string> lines = textlines(text, o.raw, unended);
    std::string identifier;
    std::string charset = o.raw ? std::string() : textcharset(lines, identifier);
    if (!charset.empty()) out += "# text in " + viewfield(identifier) + ", shown in UTF-8\n";
    out += "text:\n";
    std::vector<std::string> notes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        bool kludge = !l.empty() && l[0] == '\x01';
        out += viewline(kludge ? l : viewutf8(l, charset));
        if (unended && i + 1 == lines.size()) out += "\\c";
        out += "\n";
        std::smatch m;
        if (!o.raw && std::regex_match(l, m, filenote())) {
            std::string name = m[3].str();
            std::string note = "# " + m[1].str() + " file " + name + ", " + m[4].str() + " bytes";
            // Import decodes into plain names of its own folders only.
            std::filesystem::path beside = std::filesystem::path(path).parent_path() / name;
            std::error_code ec;
            if (m[1] == "decoded" && name.find('/') == std::string::npos &&
                std::filesystem::is_regular_file(beside, ec))
                note += ", beside the packet: " + beside.string();
            notes.push_back(viewfield(note));
        }
    }
    out += ".\n";
    for (const std::string& n : notes) out += n + "\n";
    if ((attr & MSGATTR_FILEATTACHED) && !o.raw && !subject.empty())
        out += "# files attached (named in the subject): " + viewfield(subject) + "\n";
}

// One packed message after its type word; 0, or 1 when the packet ends
// in the middle of it (said in out).
int viewpackedmsg(pktinput& in, const std::string& path, const viewoptions& o, std::string& out) {
    long at = in.tell() - 2;
    unsigned char raw[PKTMSGHDRSIZE];
    raw[0] = 2;
    raw[1] = 0;
    if (in.read(raw + 2, PKTMSGHDRSIZE - 2) != PKTMSGHDRSIZE - 2) {
        pktappendf(out, "# damaged: the packet ends inside the message header at offset %ld\n", at);
        return 1;
    }
    pktmsgheader h = decodepktmsgheader(raw);
    out += "\nmsg: " + msgline(h.orignet, h.orignode, h.destnet, h.destnode, h.attr) + "\n";
    if (h.cost) pktappendf(out, "# cost %u\n", h.cost);
    static const char* const fields[] = {"date", "to", "from", "subject"};
    static const std::size_t widths[] = {PKTDATELEN, PKTNAMEMAX, PKTNAMEMAX, PKTSUBJMAX};
    std::string subject;
    for (int i = 0; i < 4; ++i) {
        std::string value;
        bool ended = readzstring(in, value);
        out += std::string(fields[i]) + ": " + viewfield(value) + "\n";
        if (!ended) {
            pktappendf(
                out,
                "# damaged: the packet ends inside the %s field of the message at offset %ld\n",
                fields[i], at);
            return 1;
        }
        if (value.size() > widths[i])
            pktappendf(out, "# the %s is longer than the %zu characters it may have\n", fields[i],
                       widths[i]);
        if (i == 3) subject = value;
    }
    std::string text;
    bool ended = readzstring(in, text);
    viewmsgtext(text, subject, h.attr, path, o, out);
    if (!ended) {
        pktappendf(out, "# damaged: the packet ends inside the text of the message at offset %ld\n",
                   at);
        return 1;
    }
    return 0;
}

// The packet header as the description's first lines, its other fields
// as remarks.
void viewpktheader(const pktheader& h, std::string& out) {
    // The 2+ block is shown whenever the capability word announces it; a
    // copy that does not match makes readers take the packet as type 2.
    bool plus = (h.capword & CAPWORD2PLUS) != 0;
    unsigned oz = plus ? h.origzone : h.qorigzone, dz = plus ? h.destzone : h.qdestzone;
    out += std::string("packet: ") + (plus ? "2+ " : "2 ") +
           address(oz, h.orignet, h.orignode, plus ? h.origpoint : 0) + " -> " +
           address(dz, h.destnet, h.destnode, plus ? h.destpoint : 0) + "\n";
    if (h.pkttype != PKTTYPE2) pktappendf(out, "pkttype: %u\n", h.pkttype);
    if (plus && h.capvalid != CAPVALID2PLUS) {
        pktappendf(out, "capvalid: 0x%04X\n", h.capvalid);
        out += "# the capability word's copy does not match it: read as type 2\n";
    }
    if (h.pkttype != PKTTYPE2) out += "# read like type 2\n";
    std::string pwd(h.password.data(), PKTPWDSIZE);
    pwd = pwd.substr(0, pwd.find('\0'));
    if (!pwd.empty()) out += "password: " + viewfield(pwd) + "\n";
    pktappendf(out, "# written %04u-%02u-%02u %02u:%02u:%02u by product %02X%02X version %u.%u\n",
               h.year, h.month + 1u, h.day, h.hour, h.minute, h.second, h.prodcodehi, h.prodcodelo,
               h.prodrevmajor, h.prodrevminor);
    if (plus && h.auxnet) pktappendf(out, "# auxiliary net %u\n", h.auxnet);
}

}  // namespace

bool ispacketheader(const unsigned char* b, std::size_t n) {
    if (n < PKTHDRSIZE + PKTTERMSIZE) return false;
    pktheader h = decodepktheader(b);
    // Type 3 is read like type 2 (older software wrote it).
    return (h.pkttype == PKTTYPE2 || h.pkttype == 3) && h.month <= 11 && h.day >= 1 &&
           h.day <= 31 && h.hour <= 23 && h.minute <= 59 && h.second <= 59;
}

bool isstoredheader(const unsigned char* b, std::size_t n) {
    if (n < MSGHDRSIZE) return false;
    struct {
        std::size_t at, width;
    } fields[] = {{MSGHDR_FROMNAME, MSGNAMESIZE},
                  {MSGHDR_TONAME, MSGNAMESIZE},
                  {MSGHDR_SUBJECT, MSGSUBJSIZE},
                  {MSGHDR_DATE, MSGDATESIZE}};
    for (const auto& f : fields) {
        for (std::size_t i = 0; i < f.width; ++i) {
            unsigned char c = b[f.at + i];
            if (c == 0) break;
            if (c < 0x20 && c != '\t') return false;
            if (f.at == MSGHDR_DATE && i + 1 == f.width) return false;  // the date needs its zero
        }
    }
    return true;
}

int viewpacket(std::FILE* f, const std::string& path, const viewoptions& o, std::string& out) {
    pktinput in(f);
    unsigned char raw[PKTHDRSIZE];
    if (in.read(raw, PKTHDRSIZE) != PKTHDRSIZE) return 1;
    std::string body;
    viewpktheader(decodepktheader(raw), body);
    int damaged = 0;
    long messages = 0;
    for (;;) {
        unsigned char type[2];
        std::size_t got = in.read(type, 2);
        if (got < 2) {
            body += "\n# the packet ends without its terminating zero word\n";
            if (o.raw && got == 0) body += "terminator: no\n";
            damaged = 1;
            break;
        }
        unsigned t = get16le(type);
        if (t == 0) break;
        if (t != PKTMSGTYPE2) {
            pktappendf(body, "\n# damaged: a message of type %u, not 2, at offset %ld\n", t,
                       in.tell() - 2);
            damaged = 1;
            break;
        }
        ++messages;
        if (viewpackedmsg(in, path, o, body) != 0) {
            damaged = 1;
            break;
        }
    }
    if (!damaged) {
        long at = in.tell();
        unsigned char extra[1];
        if (in.read(extra, 1) == 1)
            pktappendf(body, "\n# damaged: bytes after the packet's end at offset %ld\n", at);
    }
    pktappendf(out, "# %s: FidoNet packet, %ld message%s\n", path.c_str(), messages,
               messages == 1 ? "" : "s");
    out += body;
    return damaged;
}

int viewstoredmsg(std::FILE* f, const std::string& path, const viewoptions& o, std::string& out) {
    pktinput in(f, true);
    unsigned char raw[MSGHDRSIZE];
    if (in.read(raw, MSGHDRSIZE) != MSGHDRSIZE) return 1;
    storedheader h = decodestoredheader(raw);
    out += "# " + path + ": stored netmail message\n";
    out += "stored: " + msgline(h.orignet, h.orignode, h.destnet, h.destnode, h.attr) + "\n";
    unsigned timesread = get16le(raw + MSGHDR_TIMESREAD), cost = get16le(raw + MSGHDR_COST);
    if (timesread || cost) pktappendf(out, "# read %u times, cost %u\n", timesread, cost);
    out += "date: " + viewfield(h.date.sv()) + "\n";
    out += "to: " + viewfield(h.toname.sv()) + "\n";
    out += "from: " + viewfield(h.fromname.sv()) + "\n";
    out += "subject: " + viewfield(h.subject.sv()) + "\n";
    std::string text;
    bool ended = readzstring(in, text);
    viewmsgtext(text, h.subject.str(), h.attr, path, o, out);
    if (!ended) out += "# the text ends with the file, without a zero byte\n";
    return 0;
}
