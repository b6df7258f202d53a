#include "lists/listfiles.h"

#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "config/reader.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/workfiles.h"
#include "lists/listlines.h"
#include "lists/memberindex.h"

mailinglists lists;

namespace {

enum keywordkind { KW_TEXT, KW_FILE, KW_STATUS, KW_FROMREWRITE };

struct listkeyword {
    const char* name;
    keywordkind kind;
    listtext listrecord::*field;
};

const listkeyword listkeywords[] = {
    {"ListName", KW_TEXT, &listrecord::listname},
    {"ListAddress", KW_TEXT, &listrecord::listaddress},
    {"ListArea", KW_TEXT, &listrecord::listarea},
    {"ListPassword", KW_TEXT, &listrecord::listpassword},
    {"NewStatus", KW_STATUS, nullptr},
    {"KeeperName", KW_TEXT, &listrecord::keepername},
    {"KeeperAddress", KW_TEXT, &listrecord::keeperaddress},
    {"SubscribeInfo", KW_FILE, &listrecord::subscribeinfo},
    {"Welcome", KW_FILE, &listrecord::welcome},
    {"GoodBye", KW_FILE, &listrecord::goodbye},
    {"PasswordInfo", KW_FILE, &listrecord::passwordinfo},
    {"NewPassword", KW_FILE, &listrecord::newpassword},
    {"ReadOnly", KW_FILE, &listrecord::readonly},
    {"BlackList", KW_FILE, &listrecord::blacklist},
    {"ListFromRewrite", KW_FROMREWRITE, nullptr},
    {"ListUnsubscribeURL", KW_TEXT, &listrecord::unsubscribeurl},
};

// Where a list file is read from, for the warnings about its lines.
struct listsource {
    std::FILE* f;
    const std::string& path;
    long lineno = 0;
};

void setkeyword(listrecord& rec, std::string_view key, std::string_view value,
                const listsource& src, const std::string& progpath) {
    for (const listkeyword& k : listkeywords) {
        if (!strieq(key, k.name)) continue;
        if (k.kind == KW_STATUS) {
            // Negative values are kept: every command treats them like 0 and 1.
            rec.newstatus = decimalvalue(value);
            if (rec.newstatus > STATUS_BLACKLISTED) rec.newstatus = STATUS_MEMBER;
        } else if (k.kind == KW_FROMREWRITE) {
            if (strieq(value, "Yes")) {
                rec.fromrewrite = 1;
            } else if (strieq(value, "No")) {
                rec.fromrewrite = 0;
            } else {
                configwarn("invalid ListFromRewrite value", src.lineno, src.path);
            }
        } else if (k.kind == KW_TEXT) {
            rec.*k.field = std::string(value);
        } else {
            std::string resolved;
            if (findconfigfile(value, progpath, resolved)) {
                rec.*k.field = resolved;
            } else {
                configwarn("file name too long", src.lineno, src.path);
            }
        }
        return;
    }
    configwarn("invalid list configuration keyword", src.lineno, src.path);
}

// The keyword section up to the ListUsers line. Returns 1 when the
// ListUsers line was found, 0 at the end of the file, -1 when reading failed.
int readkeywords(listsource& src, listrecord& rec, const std::string& progpath) {
    std::string line;
    int r;
    while ((r = readlistline(src.f, line, LISTPIECE)) == 1) {
        ++src.lineno;
        stripeol(line);
        if (istartswith(line, "ListUsers")) return 1;
        if (line.empty() || line[0] == ';') continue;
        std::string_view l = line;
        std::size_t space = l.find(' ');
        std::string_view key = l.substr(0, space);
        std::string_view value;
        if (space != std::string_view::npos) {
            std::size_t start = l.find_first_not_of(' ', space);
            if (start != std::string_view::npos) value = l.substr(start);
        }
        setkeyword(rec, key, value, src, progpath);
    }
    return r;
}

// Indexes the live records of the user section. A record's lines are read
// whole (never cut into pieces), so that a long line cannot shift the
// records after it. Returns 0, or -1 when reading failed.
int indexusers(listsource& src, listrecord& rec) {
    std::string line;
    for (;;) {
        long pos = std::ftell(src.f);
        int r = readlistline(src.f, line);
        if (r <= 0) return r;
        ++src.lineno;
        char marker = line[0];
        if (marker != '+' && marker != '*') {
            configwarn("user list contains erroneous line", src.lineno, src.path);
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            r = readlistline(src.f, line);
            if (r < 0) return r;
            if (r == 0) {
                configwarn("user list ends in incomplete record", src.lineno, src.path);
                rec.recordlack = 4 - i;
                return 0;
            }
            ++src.lineno;
            if (i == 0 && marker == '+') {
                stripeol(line);
                addmember(rec, line, pos);
            }
        }
    }
}

// Under /test every change to a list goes to a copy, so the real file
// stays as it was.
bool makeduplicate(listrecord& rec) {
    std::string dup = listduplicatename(rec.listfile);
    if (fcopy(rec.listfile, dup, 256) < 0) {
        configwarn("unable to create list configuration file duplicate", 0, dup);
        return false;
    }
    screenprintf("[Test mode: list file %s worked on as its copy %s]\n", rec.listfile.c_str(),
                 dup.c_str());
    rec.listfile = dup;
    return true;
}

}  // namespace

int reindexlist(listrecord& rec) {
    fileptr f = openfile(rec.listfile, "rb");
    if (!f) return -1;
    rec.usercount = 0;
    rec.hasuserlist = 0;
    rec.recordlack = 0;
    for (memberchain& c : rec.userindex) c.clear();
    listsource src{f.get(), rec.listfile};
    std::string line;
    int r;
    while ((r = readlistline(src.f, line, LISTPIECE)) == 1) {
        ++src.lineno;
        if (istartswith(line, "ListUsers")) break;
    }
    if (r < 0) return -1;
    if (r == 0) return 0;
    rec.hasuserlist = 1;
    return indexusers(src, rec);
}

void settlenewlists() {
    for (listrecord& rec : lists.listconfig) {
        if (!rec.fromrewritenew) continue;
        rec.fromrewritenew = false;
        std::string data;
        if (readwhole(rec.listfile, data) != 0) {
            logprintf("! can't read %s to mark the new list\n", rec.listfile.c_str());
            continue;
        }
        // Before the first line that begins "ListUsers", as readlist finds it.
        std::size_t at = data.size();
        for (std::size_t pos = 0; pos < data.size();) {
            std::size_t nl = data.find('\n', pos);
            std::size_t end = nl == std::string::npos ? data.size() : nl + 1;
            if (istartswith(std::string_view(data).substr(pos, end - pos), "ListUsers")) {
                at = pos;
                break;
            }
            pos = end;
        }
        std::string line = "ListFromRewrite Yes\n";
        if (at == data.size() && !data.empty() && data.back() != '\n') line.insert(0, "\n");
        data.insert(at, line);
        if (writedurable(rec.listfile, data) != 0) {
            logprintf("! can't write %s: ListFromRewrite of the new list holds for this run only\n",
                      rec.listfile.c_str());
            continue;
        }
        logprintf("New list %s: \"ListFromRewrite Yes\" written into %s\n", rec.listname.value_or("").c_str(),
                  rec.listfile.c_str());
    }
}

std::string listduplicatename(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t namestart = slash == std::string::npos ? 0 : slash + 1;
    // Only a dot in the file name counts: one in a directory name would
    // put the copy into another directory.
    std::size_t dot = path.rfind('.');
    std::string dup = path;
    if (dot != std::string::npos && dot >= namestart) dup.resize(dot);
    dup += ".~LC";
    // A list file that is itself named *.~LC must not be copied onto itself.
    if (dup == path) dup += ".~LC";
    return dup;
}

int readlist(const std::string& name, long cfgline, const std::string& cfgpath,
             const std::string& progpath) {
    if (lists.listconfig.size() >= MAXLISTS) {
        configwarn("too many ListConfig keywords", cfgline, cfgpath);
        return 0;
    }
    listrecord rec;
    if (!findconfigfile(name, progpath, rec.listfile)) {
        configwarn("file name too long", cfgline, cfgpath);
        return 0;
    }
    fileptr f = openfile(rec.listfile, "rb");
    if (!f) {
        configwarn("unable to open list configuration file", 0, rec.listfile);
        return 0;
    }
    listsource src{f.get(), rec.listfile};
    int users = readkeywords(src, rec, progpath);
    if (users >= 0 && (!rec.listname || !rec.listaddress)) {
        configwarn("required list keyword ListName or ListAddress missing", src.lineno,
                   rec.listfile);
        return 0;
    }
    if (users == 1) {
        rec.hasuserlist = 1;
        users = indexusers(src, rec);
    }
    if (users < 0) {
        // A list indexed only in part would lose members to duplicates.
        configwarn("unable to read list configuration file", src.lineno, rec.listfile);
        return 0;
    }
    f.reset();
    if (rec.fromrewrite < 0) {
        rec.fromrewritenew = rec.usercount == 0;
        rec.fromrewrite = rec.fromrewritenew ? 1 : 0;
    }
    if (run.testmode && !makeduplicate(rec)) return 0;
    lists.listconfig.push_back(std::move(rec));
    return 1;
}
