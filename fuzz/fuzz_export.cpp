// A whole FidoNet packet through export from a packet folder: the packet
// reader, the header scan, classification, the body writer with wrapping
// and quoted-printable, and attachments named by subjects, into SOUP reply
// files in the scratch folder.
#include "config/reader.h"
#include "driver/runstate.h"
#include "export/exportrun.h"
#include "fuzzutil.h"

namespace {
const char CONFIG[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pondlark.example Sysop\n"
    "AddrMap 2:280/5555.1 jane@pondlark.example,replies@pondlark.example Jane Doe\n"
    "Route 2:280/5556 node@uplink.example secret SUBJ=FidoNet mail\n"
    "Alias postmaster@pondlark.example postmaster\n"
    "MailerType Binkley\n"
    "InboundDir in\nOutboundDir out\nSoupDir soup\nTempDir tmp\n"
    "AreaMap ALT.TEST alt.test\nAreaMap IMPORT.ONLY local.only import\n"
    "MailingList LIST.AREA list@lists.example,me@pondlark.example [list]\n"
    "FidoDomain 2 #fidonet.example\nMapFidoOrg Yes\nExportMaxTo 3\nExportMaxXPost 2\n"
    "CharSetMap LATIN-1#2 iso-8859-1\nLineWidth 40\nEncodeFormat UU\n";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzreset();
    for (const char* d : {"in/.keep", "out/.keep", "soup/.keep", "tmp/.keep"}) fuzzfile(d, "");
    // Files a subject may name: one in the inbound, one elsewhere.
    fuzzfile("in/file.zip", "PK attachment bytes");
    fuzzfile("secret.txt", "must never be attached");
    fuzzfile("pkt/00000001.PKT", fuzzinput(data, size));
    fuzzfile("gate.cfg", CONFIG);
    fuzzworkdir work;
    if (!work.entered()) return 0;
    if (readconfigfile("./gate.cfg", "pondlark") != 0) return 0;
    run.packetdir = "pkt/";
    run.mode = MODE_EXPORT;
    runexport();
    return 0;
}
