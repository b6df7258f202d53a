#include "import/replies.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "config/settings.h"
#include "driver/bytes.h"
#include "driver/fileio.h"
#include "driver/log.h"
#include "driver/text.h"
#include "driver/workfiles.h"
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

// Appends the kind's line to REPLIES. A line that cannot be written whole
// is cut off again, so the client never reads half a registration.
void registerreply(int kind) {
    std::string path = cfg.soupdir.str() + REPLIESNAME;
    char text[64];
    std::snprintf(text, sizeof text, "%s%04X\t%s\t%cn\n", uppername(kind).c_str(),
                  static_cast<unsigned>(replies[kind].replyfileno), TYPENAME[kind],
                  FORMATTYPE[kind]);
    fileptr f = openfile(path, "a");
    if (!f) {
        logprintf("Error: can't append to %s\n", path.c_str());
        return;
    }
    long before = -1;
    if (std::fseek(f.get(), 0, SEEK_END) == 0) before = std::ftell(f.get());
    int bad = before < 0 ? -1 : 0;
    if (bad == 0) bad = writeall(f.get(), text, std::strlen(text));
    if (closefile(f) != 0) bad = -1;
    if (bad != 0) {
        if (before >= 0 && truncate(path.c_str(), before) != 0) {
            logprintf("Error: can't restore %s\n", path.c_str());
        }
        logprintf("Error: can't append to %s\n", path.c_str());
    }
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

// Takes back whatever the current message added to its file.
void cutback(replymsg& h) {
    int bad = h.created ? std::remove(h.path.c_str()) : truncate(h.path.c_str(), h.start);
    if (bad != 0) logprintf("Error: can't restore reply file %s\n", h.path.c_str());
}

int failreply(replymsg& h) {
    logprintf("Error: can't write reply file %s\n", h.path.c_str());
    abortreply(h);
    return -1;
}
}  // namespace

int genreplyfile(int kind) {
    if (!validkind(kind)) return kind;
    replyslot& s = replies[kind];
    if (s.newmsg != 0) registerreply(kind);
    if (s.newmsg != 0 || s.replyfile.empty()) {
        newreplyname(kind);
        s.newmsg = 0;
    }
    return kind;
}

replymsg::~replymsg() {
    abortreply(*this);
}

int openreply(int kind, replymsg& h) {
    abortreply(h);
    if (!validkind(kind)) return -1;
    h.kind = kind;
    h.path = replies[kind].replyfile.str();
    h.start = 0;
    h.created = false;
    if (h.path.empty()) {
        logprintf("Error: no %s reply file\n", TYPENAME[kind]);
        return -1;
    }
    // Create the file only when it does not exist: a file that merely could
    // not be opened for update must never be truncated.
    h.f = std::fopen(h.path.c_str(), "r+b");
    if (!h.f && errno == ENOENT) {
        h.f = std::fopen(h.path.c_str(), "w+bx");
        h.created = h.f != nullptr;
    }
    if (!h.f) {
        logprintf("Error: can't open reply file %s\n", h.path.c_str());
        return -1;
    }
    static const unsigned char placeholder[4] = {0, 0, 0, 0};
    h.start = std::fseek(h.f, 0, SEEK_END) == 0 ? std::ftell(h.f) : -1;
    if (h.start < 0) {
        // Nothing was written yet: only a file made just now needs removing.
        std::fclose(h.f);
        h.f = nullptr;
        if (h.created) std::remove(h.path.c_str());
        logprintf("Error: can't write reply file %s\n", h.path.c_str());
        return -1;
    }
    if (writeall(h.f, placeholder, sizeof placeholder) != 0) return failreply(h);
    return 0;
}

int closereply(replymsg& h) {
    if (!h.f) return -1;
    bool ok = std::fflush(h.f) == 0 && !std::ferror(h.f);
    long endpos = ok ? std::ftell(h.f) : -1;
    long len = endpos - h.start - 4;
    // Readers take the length as a signed 32-bit number.
    ok = ok && endpos >= 0 && len >= 0 && len <= INT32_MAX;
    if (ok) {
        unsigned char be[4];
        put32be(be, static_cast<std::uint32_t>(len));
        ok = std::fseek(h.f, h.start, SEEK_SET) == 0 && writeall(h.f, be, sizeof be) == 0 &&
             std::fflush(h.f) == 0;
    }
    if (!ok) return failreply(h);
    std::FILE* f = h.f;
    h.f = nullptr;
    if (closefile(f) != 0) {
        logprintf("Error: can't write reply file %s\n", h.path.c_str());
        cutback(h);
        return -1;
    }
    replies[h.kind].newmsg++;
    if (cfg.separatemsg) genreplyfile(h.kind);
    return 0;
}

void abortreply(replymsg& h) {
    if (!h.f) return;
    std::fclose(h.f);
    h.f = nullptr;
    cutback(h);
}
