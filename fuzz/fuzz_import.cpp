// A whole SOUP message file through import: cutting, header parsing,
// classification, MIME, quoted-printable, Base64 and uuencode decoding,
// quote detection and splitting, into packets and decoded files in the
// scratch folder. The first byte picks the area's format and kind, and
// whether FidoNet character sets are configured.
#include "config/reader.h"
#include "fuzzutil.h"
#include "import/importrun.h"

namespace {
const char CONFIG[] =
    "FidoAddr 2:280/5555\n"
    "AddrMap 2:280/5555 sysop@pondlark.example Sysop\n"
    "AddrMap 2:280/5555.1 jane@pondlark.example Jane Doe\n"
    "Route 2:280/5556 node@uplink.example secret\n"
    "MailerType Binkley\n"
    "InboundDir in\nOutboundDir out\nSoupDir soup\nTempDir tmp\nDecodeDir dec ALL\n"
    "AttachMail decode\nAttachNews decode\n"
    "ImportLimit 2048\nMaxPKTSize 4\n"
    "QuoteTo Yes\nQuoteChar > 0-5 0-3\nQuoteMask wrote\n"
    "AreaMap ALT.TEST alt.test\n"
    "MailingList LIST.AREA list@lists.example [list] TRUNCATE=-- ;SUBJ:[list]\n"
    "JunkSubj MONEY\nJunkFromTo Yes\nTransFidoOrg Yes\n"
    "Organization Pond\nOwnOrgAction junk\nIgnoreMessageText *Bob\n"
    "CharSetMap LATIN-1#2 iso-8859-1\n";
// Bit 16 of the first byte adds FidoNet character sets: MIME read as a tree,
// text converted.
const char CHARSETS[] = "FidoCharSet CP437 2\nAreaCharSet ALT.* UTF-8 4\nStripKludges Some\n";
const char* const ENCODINGS[] = {"un", "mn", "Mn", "bn", "Bn", "um", "mm", "bm"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzreset();
    for (const char* d : {"in/.keep", "out/.keep", "soup/.keep", "tmp/.keep", "dec/.keep"})
        fuzzfile(d, "");
    std::string areas = std::string("0000001\t") + (data[0] & 8 ? "Email" : "alt.test") + "\t" +
                        ENCODINGS[data[0] % 8] + "\n";
    fuzzfile("soup/AREAS", areas);
    fuzzfile("soup/0000001.MSG", fuzzinput(data + 1, size - 1));
    fuzzfile("gate.cfg", std::string(CONFIG) + (data[0] & 16 ? CHARSETS : ""));
    fuzzworkdir work;
    if (!work.entered()) return 0;
    if (readconfigfile("./gate.cfg", "pondlark") != 0) return 0;
    runimport();
    return 0;
}
