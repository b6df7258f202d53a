#include "export/vouch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "base/bytes.h"
#include "base/text.h"
#include "config/settings.h"
#include "durable/pathscope.h"
#include "export/storedmsg.h"

namespace {

// A listing is small; a file larger than this is no listing of ours.
constexpr std::size_t MAXLISTING = 1 << 20;
// The kludges of a stored message stand at the top of its text.
constexpr std::size_t MAXKLUDGES = 1 << 16;

bool endswithi(std::string_view s, std::string_view ext) {
    return s.size() >= ext.size() && strieq(s.substr(s.size() - ext.size()), ext);
}

bool isflowfile(std::string_view p) {
    for (const char* ext : {".FLO", ".CLO", ".DLO", ".HLO", ".ILO"})
        if (endswithi(p, ext)) return true;
    return false;
}

bool ispacket(std::string_view p) {
    return endswithi(p, ".PKT");
}

std::string_view folderof(std::string_view p) {
    std::size_t slash = p.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : p.substr(0, slash + 1);
}

bool ishexdigits(std::string_view s) {
    for (char c : s)
        if (!isxdigitc(static_cast<unsigned char>(c))) return false;
    return !s.empty();
}

// Whether a flow file lies where the mailer keeps them: OutboundDir, a
// zone folder beside it ("outbound.002/"), or a point folder in either.
// Files elsewhere (a decoded attachment named *.FLO) list nothing.
bool inoutbound(std::string_view flow) {
    std::string out = cfg.outdir.str();
    if (out.size() < 2 || out.back() != '/') return false;
    std::string_view dir = folderof(flow);
    // A point folder: one more level, named "*.PNT".
    if (dir.size() > out.size() && endswithi(dir.substr(0, dir.size() - 1), ".PNT")) {
        std::string_view up = folderof(dir.substr(0, dir.size() - 1));
        if (!up.empty()) dir = up;
    }
    if (dir == out) return true;
    std::string_view base = std::string_view(out).substr(0, out.size() - 1);
    // outbound.XXX/ beside it, the letters in any case.
    if (dir.size() != base.size() + 5 || dir.back() != '/' || dir.substr(0, base.size()).compare(base) != 0)
        return false;
    return dir[base.size()] == '.' && ishexdigits(dir.substr(base.size() + 1, 3));
}

// Up to max bytes of a file in scope, read without following a link.
bool readscoped(const std::string& path, std::size_t max, std::string& data) {
    data.clear();
    scopedpath at;
    if (openscoped(path, at) != 0) return false;
    int fd = openat(at.dirfd, at.leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[8192];
    while (ok && data.size() < max) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    if (data.size() > max) data.resize(max);
    return ok;
}

// Whether a listed name (with its "^" or "#") asks for the action on path.
bool asks(std::string_view listed, const std::string& path, char action, bool kfs, bool tfs) {
    char prefix = listed.empty() ? 0 : listed[0];
    if (prefix == '^' || prefix == '#') listed.remove_prefix(1);
    if (listed != path) return false;
    switch (action) {
        case 'X': return prefix == '^' || kfs || ispacket(path);
        case 'Z': return prefix == '#' || tfs;
        case 'M': return ispacket(path);
        default: return false;
    }
}

bool flowfilelists(const std::string& flow, const std::string& path, char action) {
    std::string data;
    if (!readscoped(flow, MAXLISTING, data)) return false;
    std::size_t pos = 0;
    while (pos < data.size()) {
        std::size_t nl = data.find('\n', pos);
        std::size_t end = nl == std::string::npos ? data.size() : nl;
        std::string_view line(data.data() + pos, end - pos);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        // A line marked "~" was sent: it asks for nothing any more.
        if (!line.empty() && line[0] != '~' && asks(line, path, action, false, false)) return true;
    }
    return false;
}

// The FLAGS kludges at the top of a stored message's text.
void storedflags(std::string_view text, bool& kfs, bool& tfs) {
    kfs = tfs = false;
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == '\x01') {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos + 1, end - pos - 1);
        if (istartswith(line, "FLAGS ")) {
            for (std::size_t i = 6; i < line.size();) {
                std::size_t sp = line.find(' ', i);
                std::string_view word = line.substr(i, sp == std::string_view::npos ? line.npos : sp - i);
                if (strieq(word, "KFS")) kfs = true;
                if (strieq(word, "TFS")) tfs = true;
                if (sp == std::string_view::npos) break;
                i = sp + 1;
            }
        }
        pos = end;
        while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
    }
}

bool storedlists(const std::string& msg, const std::string& path, char action) {
    std::string data;
    if (!readscoped(msg, MSGHDRSIZE + MAXKLUDGES, data) || data.size() < MSGHDRSIZE) return false;
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(data.data());
    std::uint16_t attr = get16le(raw + MSGHDR_ATTR);
    // Only a message written here may name any file of the system.
    if (!(attr & MSGATTR_LOCAL) || (attr & MSGATTR_SENT)) return false;
    std::string_view subj(data.data() + MSGHDR_SUBJECT, MSGSUBJSIZE);
    subj = subj.substr(0, subj.find('\0'));
    bool kfs = false, tfs = false;
    storedflags(std::string_view(data).substr(MSGHDRSIZE), kfs, tfs);
    if (asks(subj, path, action, kfs, tfs)) return true;
    for (std::size_t i = 0; i < subj.size();) {
        std::size_t sp = subj.find(' ', i);
        std::string_view word = subj.substr(i, sp == std::string_view::npos ? subj.npos : sp - i);
        if (!word.empty() && asks(word, path, action, kfs, tfs)) return true;
        if (sp == std::string_view::npos) break;
        i = sp + 1;
    }
    return false;
}

}  // namespace

bool listedforaction(const std::string& path, char action, const std::vector<std::string>& named) {
    for (const std::string& n : named) {
        if (isflowfile(n) && inoutbound(n) && flowfilelists(n, path, action)) return true;
        if (endswithi(n, ".MSG") && !cfg.netdir.empty() && folderof(n) == cfg.netdir.sv() &&
            storedlists(n, path, action))
            return true;
    }
    return false;
}
