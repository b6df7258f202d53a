#include "export/attach.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "base/codec.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/journal.h"
#include "export/expstate.h"
#include "export/rfcheader.h"
#include "export/textcharset.h"
#include "import/curmsg.h"
#include "mime/charsets.h"

namespace {

constexpr std::size_t NAMEMAX = 255;
// Lines read from the file at a time.
constexpr std::size_t LINESPERBLOCK = 1024;

std::string basename(std::string_view name) {
    std::size_t slash = name.rfind('/');
    return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

bool hasdotdot(std::string_view name) {
    std::size_t i = 0;
    while (i <= name.size()) {
        std::size_t end = name.find('/', i);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(i, end - i) == "..") return true;
        i = end + 1;
    }
    return false;
}

bool realpathof(const std::string& path, std::string& out) {
    char* rp = realpath(path.c_str(), nullptr);
    if (!rp) return false;
    out = rp;
    std::free(rp);
    return true;
}

bool inside(const std::string& file, const std::string& dir) {
    if (dir.empty()) return false;
    std::string real;
    if (!realpathof(dir, real)) return false;
    if (real.back() != '/') real += '/';
    return file.size() > real.size() && file.compare(0, real.size(), real) == 0;
}

// The parameter of name="..." with the characters a quoted string escapes.
std::string quotedname(std::string_view name) {
    std::string out;
    for (char c : headervalue(name)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// name*=UTF-8''Gr%C3%BC%C3%9Fe.zip (RFC 2231) for a name that is not ASCII.
std::string extendedname(const std::string& utf8) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out = "name*=UTF-8''";
    for (char c : utf8) {
        unsigned char u = static_cast<unsigned char>(c);
        if (isalnumc(u) || std::strchr("!#$&+-.^_`|~", c)) {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

std::string partheader(const std::string& base, const std::string& charset) {
    std::string h = "\n--" + std::string(EXPORTBOUNDARY) + "\n";
    h += "Content-Type: application/octet-stream; ";
    std::string utf8;
    if (!isplainascii(base) && toutf8(base, charset, utf8) == 0) {
        h += extendedname(utf8) + "\n";
    } else {
        h += "name=\"" + quotedname(base) + "\"\n";
    }
    h += "Content-Transfer-Encoding: ";
    if (cfg.encodeformat == ENCODE_UU) {
        h += "7bit\n\nbegin 644 " + headervalue(base) + "\n";
    } else {
        h += "base64\n\n";
    }
    return h;
}

// Fills buf as far as the file allows; a short count means its end or an error.
std::size_t readfull(std::FILE* f, unsigned char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        std::size_t r = std::fread(buf + got, 1, n - got, f);
        if (r == 0) break;
        got += r;
    }
    return got;
}

// One file as a MIME part; -1 when the file could not be read to its end.
int attachfile(replymsg& out, std::FILE* f, const std::string& base, const std::string& charset) {
    logprintf("* %s-encoding %s\n", cfg.encodeformat == ENCODE_UU ? "UU" : "MIME", base.c_str());
    std::string text = partheader(base, charset);
    std::size_t blocksize = attachlinebytes(cfg.encodeformat) * LINESPERBLOCK;
    std::unique_ptr<unsigned char[]> block(new unsigned char[blocksize]);
    for (;;) {
        std::size_t n = readfull(f, block.get(), blocksize);
        if (std::ferror(f)) return -1;
        encodeblock(block.get(), n, cfg.encodeformat, text);
        replyappend(out, text);
        text.clear();
        if (n < blocksize) break;
    }
    if (cfg.encodeformat == ENCODE_UU) text += "`\nend\n";
    text += "\n";
    replyappend(out, text);
    return 0;
}

// The attachment-list entry a subject word names, or -1. A subject may
// name a listed file by its base name only, but files in different folders
// can share one: the entry listed under the whole path comes first, then
// one with that base name still to be sent, then any with it.
long findlisted(const std::string& word) {
    const std::vector<flowentry>& list = expstate.flowfilelist;
    std::string_view path = flowfilepath(word);
    long samebase = -1, pending = -1;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string_view listed = flowfilepath(list[i].name);
        if (listed == path) return static_cast<long>(i);
        if (fncmp(listed, word) != 0) continue;
        if (samebase < 0) samebase = static_cast<long>(i);
        if (pending < 0 && list[i].kind != FLOW_DONE) pending = static_cast<long>(i);
    }
    return pending >= 0 ? pending : samebase;
}

// True when the subject as a whole is a name of the attachment list: the
// whole path as listed, or (for a path too long for a subject) its base name.
bool listedwhole(std::string_view subj) {
    std::string_view path = flowfilepath(subj);
    bool bare = path.find('/') == std::string_view::npos;
    for (const flowentry& e : expstate.flowfilelist) {
        std::string_view listed = flowfilepath(e.name);
        if (listed == path || (bare && fncmp(listed, path) == 0)) return true;
    }
    return false;
}

int afteraction(std::string& name, const exportmsg& m) {
    if (!name.empty() && name[0] == '#') {
        name.erase(0, 1);
        return AFTER_TRUNCATE;
    }
    if (!name.empty() && name[0] == '^') {
        name.erase(0, 1);
        return AFTER_DELETE;
    }
    if (m.deleteafter) return AFTER_DELETE;
    return m.truncateafter ? AFTER_TRUNCATE : AFTER_NONE;
}

const char* refusal(int check) {
    switch (check) {
        case 1: return "no such file";
        case 3: return "a mail packet or bundle";
        case 4: return "a flow file, busy flag or file request";
        case 5: return "a work file of the mailer or tosser";
        default: return "not in the inbound or packet directory";
    }
}

// One subject word into the plan; false when it is none of the message's
// (a packet the source sends itself).
bool planword(std::string name, const exportmsg& m, int flowlistvalid, attachitem& item) {
    item.word = std::string(flowfilepath(name));
    long entry = flowlistvalid && flowfiles() > 0 ? findlisted(name) : -1;
    if (entry >= 0) {
        const flowentry& e = expstate.flowfilelist[static_cast<std::size_t>(entry)];
        // The source sends packets for the gateway's own address itself.
        if (curmsg.routing == ROUTING_GATEWAY && e.kind == FLOW_PACKET) return false;
        // A listed name is a local path of any length: cutting it could name another file.
        name = e.name;
    }
    item.entry = entry;
    item.action = afteraction(name, m);
    item.path = name;
    item.base = basename(name);
    if (entry >= 0 && access(item.path.c_str(), R_OK) != 0) {
        item.reason = errno == ENOENT ? "no such file" : "cannot be read";
        logprintf("! can't attach %s: %s\n", name.c_str(), item.reason.c_str());
        return true;
    }
    if (entry < 0) {
        int c = checkattachpath(name, item.path);
        if (c != 0) {
            item.reason = refusal(c);
            if (c == 1) {
                logprintf("! can't attach %s: no such file\n", name.c_str());
            } else {
                logprintf("! refused to attach %s: %s\n", name.c_str(), item.reason.c_str());
            }
            return true;
        }
        item.base = basename(item.path);
    }
    if (!isplainascii(item.base)) item.namecharset = fidotextcharset(m, item.base);
    // A file an earlier message of the packet sent, to be deleted or
    // truncated once the packet is settled, is gone for every later one.
    for (const auto& held : expstate.heldafter) {
        if (held.first == item.path) {
            item.reason = "no such file";
            logprintf("! can't attach %s: sent before and gone\n", name.c_str());
            return true;
        }
    }
    // So is one that the unit of work being exported is to delete or empty.
    if (unitgone(item.path)) {
        item.reason = "no such file";
        logprintf("! can't attach %s: sent before and gone\n", name.c_str());
        return true;
    }
    return true;
}

void addplanned(std::vector<attachitem>& plan, const std::string& word, const exportmsg& m,
                int flowlistvalid) {
    attachitem item;
    if (planword(word, m, flowlistvalid, item)) plan.push_back(std::move(item));
}

}  // namespace

std::vector<attachitem> planattachments(const exportmsg& m, int flowlistvalid) {
    std::vector<attachitem> plan;
    std::string_view subj = curmsg.msgsubj.sv();
    std::size_t i = 0;
    // Spaces part the names of a subject, but a listed name may hold some:
    // a subject that is one listed name as a whole names that file.
    if (flowlistvalid && subj.find(' ') != std::string_view::npos && subj.size() <= NAMEMAX &&
        listedwhole(subj)) {
        addplanned(plan, std::string(subj), m, flowlistvalid);
        i = subj.size();
    }
    while (i < subj.size()) {
        if (subj[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = subj.find(' ', i);
        if (end == std::string_view::npos) end = subj.size();
        addplanned(plan, std::string(subj.substr(i, std::min(end - i, NAMEMAX))), m,
                   flowlistvalid);
        i = end;
    }
    return plan;
}

std::string notattachedline(const attachitem& item) {
    return "[file " + item.word + " was not attached: " + item.reason + "]";
}

int writeattachments(replymsg& out, const std::vector<attachitem>& plan,
                     std::vector<attachdone>& done) {
    for (const attachitem& item : plan) {
        if (!item.reason.empty()) continue;
        // A file gone since it was planned was never announced as missing:
        // as ever, it is passed over.
        fileptr f = openfile(item.path, "rb");
        if (!f) continue;
        if (attachfile(out, f.get(), item.base, item.namecharset) != 0) {
            logprintf("! can't read %s: message not sent\n", item.path.c_str());
            return -1;
        }
        done.push_back({item.path, item.action, item.entry});
    }
    std::string close = "\n--" + std::string(EXPORTBOUNDARY) + "--\n";
    replyappend(out, close);
    return 0;
}

namespace {
// In a unit of work (durable/journal.h) the file is deleted or emptied when
// the unit commits, after the messages that sent it are safe.
void actafter(const std::string& path, int action) {
    if (unitopen()) {
        if (action == AFTER_DELETE) unitremove(path);
        if (action == AFTER_TRUNCATE) unittruncate(path, 0);
        return;
    }
    if (action == AFTER_DELETE && std::remove(path.c_str()) != 0) {
        logprintf("! can't delete %s\n", path.c_str());
    }
    if (action == AFTER_TRUNCATE) {
        fileptr f = openfile(path, "wb");
        if (!f || closefile(f) != 0) logprintf("! can't truncate %s\n", path.c_str());
    }
}
}  // namespace

void finishattachments(const std::vector<attachdone>& done) {
    for (const attachdone& d : done) {
        if (d.entry >= 0 && static_cast<std::size_t>(d.entry) < flowfiles()) {
            expstate.flowfilelist[static_cast<std::size_t>(d.entry)].kind = FLOW_DONE;
        }
        if (run.testmode || d.action == AFTER_NONE) continue;
        if (expstate.holdafter) {
            expstate.heldafter.emplace_back(d.path, d.action);
        } else {
            actafter(d.path, d.action);
        }
    }
}

void releaseattachments(bool act) {
    if (act) {
        for (const auto& [path, action] : expstate.heldafter) actafter(path, action);
    }
    expstate.heldafter.clear();
}

namespace {

// Where a path leads: 0 and its real path when it is a regular file inside
// the inbound or packet directory, 1 when there is no such file, 2 when it
// is something else or elsewhere.
int placed(const std::string& path, std::string& real) {
    if (!realpathof(path, real)) return 1;
    struct stat st {};
    if (stat(real.c_str(), &st) != 0) return 1;
    if (!S_ISREG(st.st_mode)) return 2;
    if (!inside(real, cfg.indir.str()) && !inside(real, run.packetdir.str())) return 2;
    return 0;
}

// The name a remote system gave a file without its own folders (which mean
// nothing here, and may be written with "\").
std::string_view remotebase(std::string_view name) {
    std::size_t cut = name.find_last_of("/\\");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

// A folder or file whose name begins with "." below the directory that
// holds real: hidden, the mailer's or anybody's but the message's.
bool hiddenbelow(const std::string& real) {
    for (const std::string& d : {cfg.indir.str(), run.packetdir.str()}) {
        std::string dir;
        if (d.empty() || !realpathof(d, dir)) continue;
        if (dir.back() != '/') dir += '/';
        if (real.compare(0, dir.size(), dir) != 0) continue;
        std::string_view rest = std::string_view(real).substr(dir.size());
        if (!rest.empty() && (rest[0] == '.' || rest.find("/.") != std::string_view::npos)) {
            return true;
        }
    }
    return false;
}

bool oneof(std::string_view ext, std::initializer_list<const char*> list) {
    for (const char* e : list) {
        if (strieq(ext, e)) return true;
    }
    return false;
}

}  // namespace

int mailsystemfile(std::string_view base) {
    if (base.empty() || base[0] == '.') return 5;
    std::size_t dot = base.rfind('.');
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : base.substr(dot + 1);
    if (ismail(base)) return 3;
    if (ext.size() == 3) {
        // Bundles carry the day of the week ("MO0", "TU1"), outbound
        // packets a flavour ("OUT", "CUT", "HUT") and flow files "?LO".
        if (oneof(ext.substr(0, 2), {"SU", "MO", "TU", "WE", "TH", "FR", "SA"}) &&
            isalnumc(static_cast<unsigned char>(ext[2]))) {
            return 3;
        }
        if (strieq(ext.substr(1), "UT")) return 3;
        if (strieq(ext.substr(1), "LO")) return 4;
    }
    if (oneof(ext, {"REQ", "BSY", "CSY", "HLD", "TRY"})) return 4;
    if (oneof(ext, {"TMP", "$$$", "BAD", "DUP", "LCK", "LOCK", "WRK", "MSG", "SQD", "SQI", "SQL",
                    "JHR", "JDT", "JDX", "JLR", "HR", "DT"})) {
        return 5;
    }
    return 0;
}

int checkattachpath(const std::string& name, std::string& resolved) {
    if (hasdotdot(name)) return 2;
    std::string real;
    int c = placed(name, real);
    // A file that travelled with a message lies in the inbound (or beside
    // the packet) under its base name.
    std::string_view base = remotebase(name);
    for (const std::string& dir : {cfg.indir.str(), run.packetdir.str()}) {
        if (c != 1 || dir.empty() || base.empty()) break;
        c = placed(dir + std::string(base), real);
    }
    if (c != 0) return c;
    int kind = mailsystemfile(base);
    if (kind == 0) kind = mailsystemfile(basename(real));
    if (kind == 0 && hiddenbelow(real)) kind = 5;
    if (kind != 0) return kind;
    resolved = real;
    return 0;
}

std::size_t attachlinebytes(int format) {
    return format == ENCODE_UU ? 45 : 57;
}

void encodeblock(const unsigned char* data, std::size_t n, int format, std::string& out) {
    bool uu = format == ENCODE_UU;
    std::size_t perline = attachlinebytes(format);
    auto digit = [uu](unsigned v) { return uu ? uuenc(static_cast<int>(v)) : MIMEALPHABET[v]; };
    for (std::size_t at = 0; at < n; at += perline) {
        std::size_t len = n - at < perline ? n - at : perline;
        if (uu) out += static_cast<char>(32 + len);
        for (std::size_t g = 0; g < len; g += 3) {
            std::size_t k = len - g < 3 ? len - g : 3;
            unsigned b1 = data[at + g];
            unsigned b2 = k > 1 ? data[at + g + 1] : 0;
            unsigned b3 = k > 2 ? data[at + g + 2] : 0;
            out += digit(b1 >> 2);
            out += digit(((b1 & 3) << 4) | (b2 >> 4));
            if (k > 1) out += digit(((b2 & 15) << 2) | (b3 >> 6));
            if (k > 2) out += digit(b3 & 63);
            if (!uu && k < 3) out.append(3 - k, '=');
        }
        out += '\n';
    }
}
