#include "import/attachname.h"

#include <algorithm>

#include "base/text.h"
#include "config/settings.h"
#include "durable/journal.h"
#include "durable/workfiles.h"
#include "import/classify.h"
#include "import/curmsg.h"
#include "mime/charsets.h"

namespace {
constexpr char ATTACHEXT[] = ".ATT";  // files that came without a usable name

bool ismailmsg() {
    return curmsg.msgtype == MSGTYPE_MAIL;
}

// FidoNet mail sent as an attachment goes straight to the inbound, where the
// tosser finds it; other files go where DecodeDir says.
std::string_view directoryfor(std::string_view name) {
    if (!ismailmsg()) return cfg.decodedir.sv();
    if (cfg.decodedirall && (name.empty() || !ismail(name))) return cfg.decodedir.sv();
    return cfg.indir.sv();
}

// Appended to a name that a tosser or mailer would act on.
constexpr char NEUTRALEXT[] = ".ATT";

bool oneof(std::string_view ext, std::initializer_list<const char*> list) {
    for (const char* e : list) {
        if (strieq(ext, e)) return true;
    }
    return false;
}

attachfile generated(std::string_view dir, int renamed, const nametaken& taken) {
    attachfile f;
    genfname(dir, ATTACHEXT, f.path, taken);
    f.name = f.path.substr(dir.size());
    f.renamed = renamed;
    return f;
}
}  // namespace

bool ismailerfile(std::string_view name) {
    if (name.empty() || name[0] == '.') return true;
    if (ismail(name)) return true;
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string_view ext = name.substr(dot + 1);
    if (ext.size() == 3) {
        // Bundles carry the day of the week and a digit or letter ("MO0",
        // "TUA"), outbound packets a flavour ("OUT", "CUT") and flow files
        // one too ("FLO", "CLO").
        if (oneof(ext.substr(0, 2), {"SU", "MO", "TU", "WE", "TH", "FR", "SA"}) &&
            isalnumc(static_cast<unsigned char>(ext[2])))
            return true;
        if (strieq(ext.substr(1), "UT") || strieq(ext.substr(1), "LO")) return true;
    }
    return oneof(ext, {"PKT", "REQ", "BSY", "CSY", "HLD", "TRY", "TIC", "TMP", "$$$", "BAD", "DUP",
                       "LCK", "LOCK"});
}

std::string safeattachname(std::string_view given) {
    std::size_t cut = given.find_last_of("/\\");
    if (cut != std::string_view::npos) given.remove_prefix(cut + 1);
    if (given.empty() || given == "." || given == ".." || given.size() > MAXATTACHNAME) return {};
    std::string name(given);
    // A line break or 0x01 in a name would break the report line in the
    // log and in the FidoNet text.
    for (char& c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) c = '_';
    }
    return name;
}

std::string asciifilename(std::string_view given) {
    std::size_t cut = given.find_last_of("/\\");
    if (cut != std::string_view::npos) given.remove_prefix(cut + 1);
    std::string ascii;
    if (isplainascii(given) ||
        convertcharset(given, guesscharset(given), "US-ASCII", ascii) != 0) {
        ascii.assign(given);
    }
    std::string name;
    for (char c : ascii) {
        unsigned char u = static_cast<unsigned char>(c);
        bool keep = isalnumc(u) || c == '.' || c == '-' || c == '+' || c == '_' || c == '*';
        char put = keep ? c : '_';
        if (put == '_' && !name.empty() && name.back() == '_') continue;
        name.push_back(put);
    }
    std::size_t lead = name.find_first_not_of("._-");
    name.erase(0, lead == std::string::npos ? name.size() : lead);
    while (!name.empty() && (name.back() == '_' || name.back() == '.')) name.pop_back();
    if (name.size() > MAXASCIINAME) {
        std::size_t dot = name.rfind('.');
        std::size_t ext = dot != std::string::npos && name.size() - dot <= 12 ? name.size() - dot : 0;
        name = name.substr(0, MAXASCIINAME - ext) + name.substr(name.size() - ext);
    }
    return name;
}

attachfile chooseattachfile(std::string_view given, const std::unordered_set<std::string>& chosen,
                            int namerule) {
    nametaken taken = [&chosen](const std::string& path) {
        // A file being written under its temporary name holds its name too.
        return chosen.count(path) != 0 || outputtaken(path);
    };
    std::string name = namerule == NAME_ASCII ? asciifilename(given) : safeattachname(given);
    // FidoNet mail reaches the tosser by mail only from a Route node; from
    // anyone else it is a file like any other, under a name no tosser or
    // mailer takes.
    bool untrusted = !name.empty() && ismailerfile(name) && !fromroutenode();
    if (untrusted) {
        if (name[0] == '.') name[0] = '_';
        name = name.size() + sizeof NEUTRALEXT - 1 <= MAXATTACHNAME ? name + NEUTRALEXT : "";
    }
    if (name.empty()) {
        attachfile g = generated(untrusted ? cfg.decodedir.sv() : directoryfor({}),
                                 !given.empty(), taken);
        g.untrusted = untrusted;
        return g;
    }
    std::string_view dir = untrusted ? cfg.decodedir.sv() : directoryfor(name);
    attachfile f;
    f.untrusted = untrusted;
    f.path.assign(dir).append(name);
    std::size_t cut = given.find_last_of("/\\");
    std::string_view last = cut == std::string_view::npos ? given : given.substr(cut + 1);
    f.renamed = untrusted || name != last;
    if (starname(f.path, dir.size(), taken)) f.renamed = 1;
    if (taken(f.path)) {
        f.renamed = 1;
        // An existing file is never touched: when no changed name is free,
        // a generated one is taken.
        if (renfname(f.path, taken) != 0) return generated(dir, 1, taken);
    }
    f.name = f.path.substr(dir.size());
    return f;
}

void listattachment(std::string_view name) {
    if (curmsg.fname.size() + 1 + name.size() <= 71) {
        if (!curmsg.fname.empty()) curmsg.fname.append(" ");
        curmsg.fname.append(name);
    }
    curmsg.isfattach = 1;
}
