// "NewsServer", "NewsBacklog", and what check says of the AreaMap lines
// that tie groups to servers.
#include <charconv>
#include <string>

#include "base/text.h"
#include "config/keywords.h"
#include "config/reader.h"
#include "config/settings.h"
#include "config/tables.h"
#include "transport/newsserver.h"

// "NewsServer <name> <url> [options]"; may repeat, one name each.
void kw_newsserver(const configline& l) {
    newsserverdef s;
    std::string problem;
    if (parsenewsserver(l.par, s, problem) != 0) {
        configwarn(problem.c_str(), l.line, l.path);
        return;
    }
    if (findnewsserver(s.name)) {
        configwarn(("NewsServer " + s.name + " given twice").c_str(), l.line, l.path);
        return;
    }
    problem = newsserverproblem(s, l.path);
    if (!problem.empty()) configwarn(problem.c_str(), l.line, l.path);
    cfg.newsservers.push_back(std::move(s));
}

// "NewsBacklog <articles>": what the first fetch of a group takes, from
// its newest article back. 0 starts with what comes after the first run.
void kw_newsbacklog(const configline& l) {
    std::uint32_t n = 0;
    auto r = std::from_chars(l.par.data(), l.par.data() + l.par.size(), n);
    if (l.par.empty() || r.ec != std::errc() || r.ptr != l.par.data() + l.par.size() || n > 1000000) {
        configwarn("invalid number", l.line, l.path);
        return;
    }
    cfg.newsbacklog = n;
}

// Every server= must name a NewsServer. Once any NewsServer is set, a
// group mapped to none is fetched and posted by nothing, unless a local
// INN feeds the gateway (ImportNewsBatches) or takes its news (PostNews).
void checknewsgroupservers() {
    for (const areamapentry& e : tables.areamap) {
        if (!e.server.empty()) {
            if (!findnewsserver(e.server.sv()))
                configwarn(("AreaMap server=" + e.server.str() + " names no NewsServer").c_str(), e.cfgline,
                           e.cfgfile);
            continue;
        }
        if (cfg.newsservers.empty()) continue;
        bool in = e.direction != DIR_EXPORT && cfg.importnewsbatches.empty();
        bool out = e.direction != DIR_IMPORT && cfg.postnews.empty();
        if (in || out)
            configwarn(("newsgroup " + e.newsgroup.str() + " is mapped to no NewsServer (server=<name>)").c_str(),
                       e.cfgline, e.cfgfile);
    }
}
