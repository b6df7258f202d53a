#include "driver/runrecord.h"

#include <charconv>

#include "base/clock.h"
#include "config/settings.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "durable/durablefile.h"
#include "durable/statelines.h"

namespace {

long long number(const std::string& s) {
    long long v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

}  // namespace

int readrunrecord(const std::string& path, std::map<std::string, runentry>& out) {
    out.clear();
    std::vector<stateline> lines;
    if (readstatelines(path, lines) != 0) return -1;
    // Line: start, command, end, "ok" or "failed", errors, first error.
    for (const stateline& l : lines) {
        if (l.fields.size() < 5) continue;
        runentry e;
        e.start = l.time;
        e.end = static_cast<std::time_t>(number(l.fields[1]));
        e.ok = l.fields[2] == "ok";
        e.errors = static_cast<long>(number(l.fields[3]));
        e.firsterror = l.fields[4];
        out[l.fields[0]] = e;
    }
    return 0;
}

void noterun(const char* command, std::time_t start, int status) {
    if (run.testmode || cfg.soupdir.empty()) return;
    std::string path = cfg.soupdir.str() + RUNRECORDNAME;
    std::map<std::string, runentry> runs;
    (void)readrunrecord(path, runs);
    runentry& e = runs[command];
    e.start = start;
    e.end = nowtime();
    e.ok = status == 0 && run.errorlines == 0;
    e.errors = run.errorlines;
    e.firsterror = run.firsterror;
    std::string text;
    for (const auto& [name, r] : runs) {
        text += std::to_string(static_cast<long long>(r.start)) + "\t" + statefield(name) + "\t" +
                std::to_string(static_cast<long long>(r.end)) + "\t" + (r.ok ? "ok" : "failed") + "\t" +
                std::to_string(r.errors) + "\t" + statefield(r.firsterror) + "\n";
    }
    if (writedurable(path, text) != 0) logprintf("Error writing %s\n", path.c_str());
}
