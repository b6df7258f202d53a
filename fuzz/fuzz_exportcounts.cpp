// The day's counts of ExportLimit as a damaged or hostile pondlark.lim may
// hold them: every count read is a sane number, and the file written from
// them reads back as the same counts, and as nothing stale.
#include <cstdint>
#include <string>

#include "export/exportcounts.h"
#include "fuzzutil.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzzinput(data, size);
    bool stale = false;
    nodecounts counts = parseexportcounts(text, "1999-09-14", stale);
    for (const auto& [key, n] : counts) {
        if (n < 0 || n > 2000000000) __builtin_trap();
    }
    std::string again = exportcountstext(counts, "1999-09-14");
    bool stale2 = true;
    if (parseexportcounts(again, "1999-09-14", stale2) != counts || stale2) __builtin_trap();
    return 0;
}
