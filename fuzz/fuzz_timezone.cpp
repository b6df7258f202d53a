// Zone files and POSIX zone rules: any bytes read as a zone file or a rule
// either are refused or give offsets of less than a day, for any instant
// and any wall-clock time.
#include "base/timezone.h"
#include "fuzzutil.h"

namespace {

void probe(const zonedata& z) {
    const std::int64_t instants[] = {-4000000000LL, -1, 0, 937340170, 2147483647, 4102444800LL,
                                     253402300799LL};
    for (std::int64_t t : instants) {
        long a = zoneoffsetat(z, t);
        long b = zoneoffsetfor(z, t);
        if (a <= -26 * 3600 || a >= 26 * 3600 || b <= -26 * 3600 || b >= 26 * 3600) {
            __builtin_trap();
        }
        if (rfcoffset(a).size() != 5) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in = fuzzinput(data, size);
    zonedata z;
    if (parsetzif(in, z) == 0) probe(z);
    posixrule r;
    if (parseposixtz(in, r)) {
        zonedata p;
        p.kind = ZONE_RULES;
        p.footer = r;
        probe(p);
    }
    long s = 0;
    (void)tzutcoffset(in, s);
    return 0;
}
