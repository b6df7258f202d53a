#include "export/datezone.h"

#include <cstdlib>
#include <ctime>

#include "base/clock.h"
#include "config/settings.h"

namespace {

// The zone is read again only when its text or TZ changes (tests and
// nothing else change them during a run).
struct zonecache {
    std::string text = "\n";  // never a zone text: nothing read yet
    std::string tz;
    zonedata zone;
    // The last offset worked out: the same quarter of an hour of wall-clock
    // time has the same offset (clocks change on whole quarters).
    std::int64_t quarter = INT64_MIN;
    long offset = 0;
};

zonecache cache;

std::string tzenv() {
    const char* tz = std::getenv("TZ");
    return tz ? std::string(tz) : std::string("\n");
}

}  // namespace

const zonedata& gatewayzone() {
    std::string_view text = cfg.timezonestr.sv();
    std::string tz = tzenv();
    if (cache.text != text || cache.tz != tz) {
        cache.text = std::string(text);
        cache.tz = tz;
        cache.quarter = INT64_MIN;
        if (parsezone(text, cache.zone) != 0) cache.zone = zonedata{};
    }
    return cache.zone;
}

long gatewayoffsetfor(const msgtimes& t) {
    const zonedata& z = gatewayzone();
    int mon = t.month < 12 ? t.month + 1 : 1;
    std::int64_t local = civilseconds(t.year, mon, t.day, t.hour, t.minute, t.second);
    std::int64_t quarter = local / 900;
    if (quarter != cache.quarter) {
        cache.offset = zoneoffsetfor(z, local);
        cache.quarter = quarter;
    }
    return cache.offset;
}

msgtimes gatewaynow(long& offset) {
    const zonedata& z = gatewayzone();
    std::time_t now = nowtime();
    if (z.kind == ZONE_LOCAL) {
        // The C library's own view of the local zone, as the log has it.
        offset = localoffsetminutes(now) * 60;
        return localmsgtime(now);
    }
    offset = zoneoffsetat(z, now);
    civiltime c = civilfromseconds(static_cast<std::int64_t>(now) + offset);
    msgtimes t;
    t.year = static_cast<std::uint16_t>(c.year);
    t.month = static_cast<std::uint16_t>(c.month - 1);
    t.day = static_cast<std::uint16_t>(c.day);
    t.hour = static_cast<std::uint16_t>(c.hour);
    t.minute = static_cast<std::uint16_t>(c.minute);
    t.second = static_cast<std::uint16_t>(c.second);
    return t;
}

bool datezoneoffset(std::string_view tzinfo, long& seconds) {
    while (!tzinfo.empty() && (tzinfo.front() == ' ' || tzinfo.front() == '\t')) {
        tzinfo.remove_prefix(1);
    }
    std::size_t end = tzinfo.find_first_of(" \t(");
    return rfczoneoffset(tzinfo.substr(0, end), seconds);
}
