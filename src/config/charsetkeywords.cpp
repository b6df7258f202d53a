// FidoCharSet, AreaCharSet and KeepHeader, and the lookup of the FidoNet
// character set of an area.
#include <charconv>

#include "base/text.h"
#include "config/keywords.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "mime/charsets.h"

namespace {

// "<identifier> [<level>]" into def; false (with the warning given) when
// the line cannot be used.
bool scancharset(std::string_view rest, const configline& l, const char* toomany,
                 fidocharsetdef& def) {
    std::string_view id = nextparam(rest);
    std::string_view levelword = nextparam(rest);
    std::string ident = fidoidentifier(id);
    if (ident.empty()) {
        configwarn("unknown character set", l.line, l.path);
        return false;
    }
    // Text goes into packets in it: ASCII must stay ASCII, in any state.
    if (!asciisafecharset(fidocharsetname(ident))) {
        configwarn("character set not usable for FidoNet text", l.line, l.path);
        return false;
    }
    def.identifier = ident;
    def.icuname = fidocharsetname(ident);
    def.level = fidocharsetlevel(ident);
    if (!levelword.empty()) {
        int level = 0;
        auto r = std::from_chars(levelword.data(), levelword.data() + levelword.size(), level);
        if (r.ec != std::errc() || r.ptr != levelword.data() + levelword.size() || level < 1 ||
            level > 4) {
            configwarn("invalid character set level", l.line, l.path);
        } else {
            def.level = level;
        }
    }
    if (!rest.empty()) configwarn(toomany, l.line, l.path);
    return true;
}

bool areamatches(std::string_view pattern, std::string_view area, std::size_t& prefixlen) {
    if (!pattern.empty() && pattern.back() == '*') {
        pattern.remove_suffix(1);
        prefixlen = pattern.size();
        return istartswith(area, pattern);
    }
    prefixlen = std::string_view::npos;
    return strieq(pattern, area);
}

}  // namespace

void kw_fidocharset(const configline& l) {
    if (l.par.empty()) {
        configwarn("FidoCharSet misses parameter", l.line, l.path);
        return;
    }
    fidocharsetdef def;
    if (scancharset(l.par, l, "FidoCharSet has too many parameters", def)) cfg.fidocharset = def;
}

void kw_areacharset(const configline& l) {
    if (tables.areacharset.size() >= MAXAREACHARSET) {
        configwarn("too many AreaCharSet keywords", l.line, l.path);
        return;
    }
    std::string_view rest = l.par;
    std::string_view area = nextparam(rest);
    if (area.empty() || rest.empty()) {
        configwarn("AreaCharSet misses parameter", l.line, l.path);
        return;
    }
    fidocharsetdef def;
    def.area = area;
    strupr(def.area.data());
    if (scancharset(rest, l, "AreaCharSet has too many parameters", def)) tables.areacharset.push_back(def);
}

void kw_keepheader(const configline& l) {
    if (tables.keepheader.size() >= MAXKEEPHEADER) {
        configwarn("too many KeepHeader keywords", l.line, l.path);
        return;
    }
    std::string_view rest = l.par;
    std::string_view name = nextparam(rest);
    if (!name.empty() && name.back() == ':') name.remove_suffix(1);
    if (name.empty()) {
        configwarn("KeepHeader misses parameter", l.line, l.path);
        return;
    }
    if (!rest.empty()) configwarn("KeepHeader has too many parameters", l.line, l.path);
    tables.keepheader.emplace_back(name);
}

const fidocharsetdef* fidocharsetfor(std::string_view fidoarea) {
    const fidocharsetdef* best = nullptr;
    std::size_t bestlen = 0;
    for (const fidocharsetdef& d : tables.areacharset) {
        std::size_t len;
        if (!areamatches(d.area.sv(), fidoarea, len)) continue;
        if (len == std::string_view::npos) return &d;  // named exactly
        if (!best || len > bestlen) {
            best = &d;
            bestlen = len;
        }
    }
    if (best) return best;
    return cfg.fidocharset.set() ? &cfg.fidocharset : nullptr;
}

bool fidocharsetsconfigured() {
    return cfg.fidocharset.set() || !tables.areacharset.empty();
}
