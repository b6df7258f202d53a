// A stored netmail message through export: the 190-byte header, the
// candidate matching by INTL, FMPT and TOPT, the attachment list from the
// subject and the conversion, into SOUP reply files in the scratch folder.
#include "config/reader.h"
#include "driver/runstate.h"
#include "export/exportrun.h"
#include "fuzzutil.h"

namespace {
const char CONFIG[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pondlark.example Sysop\n"
    "Route 2:280/5556 node@uplink.example secret SUBJ=FidoNet mail\n"
    "MailerType ArcMail\n"
    "InboundDir in\nNetmailDir net\nSoupDir soup\nTempDir tmp\n"
    "ExportAllMail Yes\nMapFidoOrg Yes\n";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    for (const char* d : {"in/.keep", "soup/.keep", "tmp/.keep"}) fuzzfile(d, "");
    fuzzfile("in/file.zip", "PK attachment bytes");
    fuzzfile("net/1.MSG", fuzzinput(data, size));
    fuzzfile("gate.cfg", CONFIG);
    fuzzworkdir work;
    if (!work.entered()) return 0;
    if (readconfigfile("./gate.cfg", "pondlark") != 0) return 0;
    run.mode = MODE_EXPORT;
    runexport();
    return 0;
}
