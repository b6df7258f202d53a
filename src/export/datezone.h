// The zone of the "Date:" headers the gateway writes: for a FidoNet
// message its TZUTC kludge, else the zone "TimeZone" names (a zone of the
// zone database, a POSIX rule or a fixed offset; "TimeZone" defaults to
// TZ), else the local zone; always written as a numeric offset that holds
// for the message's own date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/timezone.h"
#include "import/curmsg.h"

// The zone cfg.timezonestr names, read once for each text (a text that
// names no zone gives the local zone). Reads TZDIR and the zone file.
const zonedata& gatewayzone();

// Seconds east of UTC for the wall-clock time t (month 0..11) in the
// gateway's zone.
long gatewayoffsetfor(const msgtimes& t);

// The current time as a wall-clock time in the gateway's zone, and its
// offset. Reads the clock.
msgtimes gatewaynow(long& offset);

// The offset an Internet "Date:" zone text gives ("+0200", "+0200 (CEST)",
// "GMT"): true and seconds east, or false when it gives none.
bool datezoneoffset(std::string_view tzinfo, long& seconds);
