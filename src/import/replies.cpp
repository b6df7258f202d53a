#include "import/replies.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/soup.h"

replyslots replies;

namespace {
bool validkind(int kind) {
    return kind == REPLY_MAIL || kind == REPLY_NEWS;
}

std::string uppername(int kind) {
    std::string s = TYPENAME[kind];
    strupr(s);
    return s;
}

std::string repliespath() {
    return cfg.soupdir.str() + REPLIESNAME;
}

std::string replyline(int kind) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%04X\t%s\t%cn\n", uppername(kind).c_str(),
                  static_cast<unsigned>(replies[kind].replyfileno), TYPENAME[kind],
                  FORMATTYPE[kind]);
    return text;
}

// Appends the kind's line to REPLIES and notes where it begins. A line that
// cannot be written whole is cut off again, so the client never reads half
// a registration. Returns 0, or -1 (reported).
int registerreply(int kind) {
    std::string path = repliespath();
    std::string text = replyline(kind);
    // Noted first, so that a run killed before its unit commits loses the line again.
    if (unitnote(path) != 0) {
        logprintf("Error: can't append to %s\n", path.c_str());
        return -1;
    }
    fileptr f = openshared(path, "a");
    if (!f) {
        logprintf("Error: can't append to %s\n", path.c_str());
        return -1;
    }
    long before = -1;
    if (std::fseek(f.get(), 0, SEEK_END) == 0) before = std::ftell(f.get());
    int bad = before < 0 ? -1 : 0;
    if (bad == 0) bad = writeall(f.get(), text.data(), text.size());
    if (closefile(f) != 0) bad = -1;
    if (bad != 0) {
        if (before >= 0 && truncate(path.c_str(), before) != 0) {
            logprintf("Error: can't restore %s\n", path.c_str());
        }
        logprintf("Error: can't append to %s\n", path.c_str());
        return -1;
    }
    replies[kind].reg = {replies[kind].replyfile.str(), text, before};
    return 0;
}

// Cuts the bytes expected, found at offset at, out of the file at path in
// place: the file only shrinks, so this works on a full disk too. A file
// left empty is removed. Returns 0, or -1 when it stays as it was.
int cutout(const std::string& path, long at, const std::string& expected) {
    fileptr f = openshared(path, "r+b");
    if (!f) return -1;
    std::string data;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) data.append(buf, n);
    std::size_t pos = static_cast<std::size_t>(at);
    if (std::ferror(f.get()) || pos > data.size() || data.compare(pos, expected.size(), expected))
        return -1;
    data.erase(pos, expected.size());
    bool bad = std::fseek(f.get(), at, SEEK_SET) != 0 ||
               writeall(f.get(), data.data() + pos, data.size() - pos) != 0 ||
               std::fflush(f.get()) != 0 ||
               ftruncate(fileno(f.get()), static_cast<off_t>(data.size())) != 0;
    if (closefile(f) != 0) bad = true;
    if (!bad && data.empty() && std::remove(path.c_str()) != 0) bad = true;
    return bad ? -1 : 0;
}

// Takes a line this run wrote out of REPLIES again; the lines after it
// move up. Returns 0, or -1 (reported) when the line stays.
int unregisterreply(registration& r) {
    if (r.at < 0) return 0;
    if (cutout(repliespath(), r.at, r.line) != 0) {
        logprintf("Error: can't take %s back out of %s\n", r.path.c_str(), repliespath().c_str());
        return -1;
    }
    auto moveup = [&r](registration& later) {
        if (later.at > r.at) later.at -= static_cast<long>(r.line.size());
    };
    for (registration& later : replies.movedon) moveup(later);
    for (replyslot& s : replies.slot) moveup(s.reg);
    r.at = -1;
    return 0;
}

// Gives the slot the first free file name of its kind.
void newreplyname(int kind) {
    replyslot& s = replies[kind];
    std::string name;
    long no = genfnamebase(cfg.soupdir.sv(), uppername(kind), MESSAGEEXT, name);
    if (no < 0 || name.size() >= pathtext::capacity) {
        // No usable name: appends to this kind fail until a later call finds one.
        logprintf("Error: no free %s reply file name in %s\n", TYPENAME[kind], cfg.soupdir.c_str());
        s.replyfile.clear();
        s.replyfileno = 0;
        return;
    }
    s.replyfile = name;
    s.replyfileno = static_cast<std::uint16_t>(no);
}

// Closes the slot's file; 0, or -1 when data could not be written.
int closeslot(replyslot& s) {
    if (!s.file) return 0;
    if (closefile(s.file) == 0) return 0;
    logprintf("Error: can't write reply file %s\n", s.replyfile.c_str());
    return -1;
}

// Closes the slot's file and cuts it back to size bytes; a file this run
// created that would be left empty is removed instead.
int cutslot(replyslot& s, long size) {
    if (s.file) std::fclose(s.file.release());  // what is still buffered is dropped
    std::string path = s.replyfile.str();
    int bad = 0;
    if (size <= 0 && s.created && s.newmsg == 0) {
        bad = std::remove(path.c_str()) != 0 && exist(path);
        s.created = false;
    } else if (size >= 0) {
        bad = truncate(path.c_str(), size) != 0 && exist(path);
    }
    s.end = size < 0 ? 0 : size;
    if (bad) logprintf("Error: can't restore reply file %s\n", path.c_str());
    return bad ? -1 : 0;
}

// Opens the slot's file for appending messages, creating it only when it
// does not exist: a file that merely could not be opened for update must
// never be truncated.
int openslot(replyslot& s) {
    if (s.file) return 0;
    std::string path = s.replyfile.str();
    s.file = openshared(path, "r+b");
    bool created = false;
    if (!s.file && errno == ENOENT) {
        s.file = openshared(path, "w+x");
        created = s.file != nullptr;
    }
    if (!s.file) {
        logprintf("Error: can't open reply file %s\n", path.c_str());
        return -1;
    }
    if (created) s.created = true;
    std::setvbuf(s.file.get(), nullptr, _IOFBF, 1 << 16);
    s.end = std::fseek(s.file.get(), 0, SEEK_END) == 0 ? std::ftell(s.file.get()) : -1;
    if (s.end < 0) {
        cutslot(s, -1);
        logprintf("Error: can't write reply file %s\n", path.c_str());
        return -1;
    }
    return 0;
}

int failreply(replymsg& h) {
    logprintf("Error: can't write reply file %s\n", h.path.c_str());
    abortreply(h);
    return -1;
}

// Longest record text held in memory; a longer one goes to the file as it comes.
constexpr std::size_t HOLDMAX = 1 << 20;
constexpr unsigned char PLACEHOLDER[4] = {0, 0, 0, 0};

// A held record that grew too long: its placeholder and text go to the file.
void releaseheld(replymsg& h) {
    std::string& text = replies[h.kind].held;
    (void)writeall(h.f, PLACEHOLDER, sizeof PLACEHOLDER);
    (void)writeall(h.f, text.data(), text.size());
    text.clear();
    h.held = false;
}

// Writes a held record, length and text, in one piece. Returns the file's
// length after it, or -1 when the write failed.
long writeheld(replymsg& h) {
    std::string& text = replies[h.kind].held;
    unsigned char be[4];
    put32be(be, static_cast<std::uint32_t>(text.size()));
    bool ok = writeall(h.f, be, sizeof be) == 0 && writeall(h.f, text.data(), text.size()) == 0 &&
              std::fflush(h.f) == 0 && !std::ferror(h.f);
    long endpos = h.start + 4 + static_cast<long>(text.size());
    text.clear();
    h.held = false;
    return ok ? endpos : -1;
}

// Flushes a record whose text went to the file and writes its length in
// front of it. Returns the file's length after it, or -1 on failure.
long writelength(replymsg& h) {
    bool ok = std::fflush(h.f) == 0 && !std::ferror(h.f);
    long endpos = ok ? std::ftell(h.f) : -1;
    long len = endpos - h.start - 4;
    // Readers take the length as a signed 32-bit number.
    if (!ok || endpos < 0 || len < 0 || len > INT32_MAX) return -1;
    unsigned char be[4];
    put32be(be, static_cast<std::uint32_t>(len));
    return pwrite(fileno(h.f), be, sizeof be, h.start) == static_cast<ssize_t>(sizeof be) ? endpos : -1;
}
}  // namespace

int genreplyfile(int kind) {
    if (!validkind(kind)) return kind;
    replyslot& s = replies[kind];
    closeslot(s);
    if (s.newmsg != 0 || s.replyfile.empty()) {
        if (replies.marking && s.reg.at >= 0) replies.movedon.push_back(s.reg);
        newreplyname(kind);
        s.newmsg = 0;
        s.created = false;
        s.end = 0;
        s.reg = {};
    }
    return kind;
}

replymsg::~replymsg() {
    abortreply(*this);
}

namespace {
// Opens the kind's file for a new record at its end; 0, or -1 (reported).
int beginreply(int kind, replymsg& h) {
    abortreply(h);
    if (!validkind(kind)) return -1;
    replyslot& s = replies[kind];
    h.kind = kind;
    h.path = s.replyfile.str();
    h.start = 0;
    if (h.path.empty()) {
        logprintf("Error: no %s reply file\n", TYPENAME[kind]);
        return -1;
    }
    // Noted before the first record of the unit: a run killed before the
    // unit commits has the file cut back to its last committed record.
    if (unitnote(h.path) != 0) return -1;
    if (openslot(s) != 0) return -1;
    h.f = s.file.get();
    h.start = s.end;
    return 0;
}
}  // namespace

int openreply(int kind, replymsg& h) {
    if (beginreply(kind, h) != 0) return -1;
    if (writeall(h.f, PLACEHOLDER, sizeof PLACEHOLDER) != 0) return failreply(h);
    return 0;
}

int openreplyheld(int kind, replymsg& h) {
    if (beginreply(kind, h) != 0) return -1;
    h.held = true;
    replies[kind].held.clear();
    return 0;
}

void replyappend(replymsg& h, std::string_view text) {
    if (!h.f) return;
    if (h.held) {
        std::string& held = replies[h.kind].held;
        held.append(text);
        if (held.size() > HOLDMAX) releaseheld(h);
        return;
    }
    (void)writeall(h.f, text.data(), text.size());
}

int closereply(replymsg& h) {
    if (!h.f) return -1;
    replyslot& s = replies[h.kind];
    long endpos = h.held ? writeheld(h) : writelength(h);
    if (endpos < 0) return failreply(h);
    // Registered before the caller may consume the message's input.
    if (s.reg.at < 0 && registerreply(h.kind) != 0) {
        abortreply(h);
        return -1;
    }
    h.f = nullptr;
    s.end = endpos;
    s.newmsg++;
    if (cfg.separatemsg) genreplyfile(h.kind);
    return 0;
}

void abortreply(replymsg& h) {
    if (!h.f) return;
    h.f = nullptr;
    h.held = false;
    replies[h.kind].held.clear();
    cutslot(replies[h.kind], h.start);
}

long replyfilesize(int kind) {
    if (!validkind(kind)) return -1;
    const replyslot& s = replies[kind];
    if (s.file) return s.end;
    if (s.replyfile.empty()) return -1;
    struct stat st {};
    return stat(s.replyfile.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

namespace {
// Takes back messages appended since the kind's file had length size (-1:
// it did not exist) and newmsg messages.
int rewindreply(int kind, long size, int newmsg) {
    replyslot& s = replies[kind];
    s.newmsg = newmsg;
    int bad = 0;
    if (newmsg == 0 && unregisterreply(s.reg) != 0) bad = -1;
    if (replyfilesize(kind) != size && cutslot(s, size) != 0) bad = -1;
    return bad;
}
}  // namespace

replymark markreplies() {
    replymark m;
    for (int kind = REPLY_MAIL; kind <= REPLY_NEWS; ++kind) {
        m.path[kind] = replies[kind].replyfile.str();
        m.size[kind] = replyfilesize(kind);
        m.newmsg[kind] = replies[kind].newmsg;
    }
    replies.movedon.clear();
    replies.marking = true;
    return m;
}

void keepreplies() {
    replies.movedon.clear();
    replies.marking = false;
}

int rewindreplies(const replymark& mark) {
    int bad = 0;
    for (int kind = REPLY_MAIL; kind <= REPLY_NEWS; ++kind) {
        // A slot that has moved on since holds nothing from before the mark.
        bool same = replies[kind].replyfile.sv() == mark.path[kind];
        if (rewindreply(kind, same ? mark.size[kind] : -1, same ? mark.newmsg[kind] : 0) != 0)
            bad = -1;
    }
    for (auto r = replies.movedon.rbegin(); r != replies.movedon.rend(); ++r) {
        if (unregisterreply(*r) != 0) bad = -1;
        if (std::remove(r->path.c_str()) != 0 && exist(r->path)) {
            logprintf("Error: can't remove reply file %s\n", r->path.c_str());
            bad = -1;
        }
    }
    keepreplies();
    return bad;
}
