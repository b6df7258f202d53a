// The keywords that say who may send through the gateway, as whom, how
// much, and under which envelope sender.
#include <charconv>
#include <cstdio>

#include "base/mailbox.h"
#include "base/text.h"
#include "config/keywords.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/runstate.h"

namespace {

bool readpattern(std::string_view text, const configline& l, ftnpattern& p) {
    if (parseftnpattern(text, p)) return true;
    configwarn("invalid address pattern", l.line, l.path);
    return false;
}

bool full(std::size_t size, std::size_t max, const char* warning, const configline& l) {
    if (size < max) return false;
    configwarn(warning, l.line, l.path);
    return true;
}

}  // namespace

// "TrustFrom <pattern>": nodes whose "From:" lines name any address.
void kw_trustfrom(const configline& l) {
    if (full(tables.trustfrom.size(), MAXTRUSTFROM, "too many TrustFrom keywords", l)) return;
    ftnpattern p;
    if (readpattern(l.par, l, p)) tables.trustfrom.push_back(p);
}

// "ExportAllow <pattern> [mail] [news]": both when neither is named.
void kw_exportallow(const configline& l) {
    if (full(tables.exportallow.size(), MAXEXPORTALLOW, "too many ExportAllow keywords", l)) return;
    std::string_view rest = l.par;
    exportallowentry e;
    if (!readpattern(nextparam(rest), l, e.nodes)) return;
    if (!rest.empty()) {
        e.mail = e.news = false;
        for (std::string_view w = nextparam(rest); !w.empty(); w = nextparam(rest)) {
            if (strieq(w, "mail")) {
                e.mail = true;
            } else if (strieq(w, "news")) {
                e.news = true;
            } else {
                configwarn("invalid ExportAllow parameter", l.line, l.path);
                return;
            }
        }
    }
    tables.exportallow.push_back(e);
}

// "ExportLimit <pattern> <messages per day>".
void kw_exportlimit(const configline& l) {
    if (full(tables.exportlimit.size(), MAXEXPORTLIMIT, "too many ExportLimit keywords", l)) return;
    std::string_view rest = l.par;
    exportlimitentry e;
    std::string_view pattern = nextparam(rest);
    if (rest.empty()) {
        configwarn("ExportLimit misses parameter", l.line, l.path);
        return;
    }
    if (!readpattern(pattern, l, e.nodes)) return;
    auto r = std::from_chars(rest.data(), rest.data() + rest.size(), e.perday);
    if (r.ec != std::errc() || r.ptr != rest.data() + rest.size()) {
        configwarn("invalid number", l.line, l.path);
        return;
    }
    tables.exportlimit.push_back(e);
}

// "BounceAddress <address>": one mailbox, or the line is not taken.
void kw_bounceaddress(const configline& l) {
    if (!ismailbox(l.par) || l.par.size() >= text128::capacity) {
        configwarn("invalid BounceAddress", l.line, l.path);
        return;
    }
    cfg.bounceaddress = l.par;
}

void warnopengateway() {
    if (!tables.exportallow.empty()) return;
    ++run.configwarnings;
    std::fprintf(stderr,
                 "Warning: no ExportAllow line: every FidoNet node that can send netmail to the gateway "
                 "may send Internet mail and news through it\n\n");
}
