// One Internet message through import, and the meaning of what reached the
// packets: every message may carry only the control information the
// gateway writes itself (its own kludges, AREA, SEEN-BY, PATH, tear and
// origin lines where it puts them) and no control byte in its to, from and
// subject fields; no file in the inbound may be one a tosser takes but the
// gateway's packets. The first byte picks the kind (mail or news), the
// FidoNet character set (none, CP437, CP850, CP866, LATIN-1, UTF-8),
// StripKludges No or Some, and a split at ImportLimit.
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/reader.h"
#include "fuzzutil.h"
#include "import/importrun.h"
#include "pkt/ftnmeaning.h"
#include "pkt/pktcheck.h"

namespace {
const char CONFIG[] =
    "FidoAddr 2:280/5556\n"
    "AddrMap 2:280/5555 sysop@pondlark.example Sysop\n"
    "MailerType Binkley\n"
    "InboundDir in\nOutboundDir out\nSoupDir soup\nTempDir tmp\nDecodeDir dec\n"
    "AttachMail decode\nAttachNews decode\n"
    "AreaMap PONDLARK.TEST alt.test\n"
    "CharSetMap LATIN-1#2 iso-8859-1\n";
const char* const CHARSETS[] = {"", "FidoCharSet CP437 2\n", "FidoCharSet CP850 2\n",
                                "FidoCharSet CP866 2\n", "FidoCharSet LATIN-1 2\n",
                                "FidoCharSet UTF-8 4\n", "", ""};

[[noreturn]] void meaningless(const std::string& what) {
    std::fprintf(stderr, "import wrote what the gateway never writes: %s\n", what.c_str());
    std::abort();
}

void checkinbound() {
    const expectedmeaning netmail = {"", "2:280/5555 2:280/5556", "280/5556", "2:280/5556"};
    const expectedmeaning echo = {"PONDLARK.TEST", "2:280/5555 2:280/5556", "280/5556", "2:280/5556"};
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(fuzzdir() + "in", ec)) {
        std::string name = e.path().filename().string();
        std::string ext = e.path().extension().string();
        if (ext != ".PKT") {
            // Only the gateway's packets are FidoNet mail in the inbound.
            if (ext.size() == 4 && (ext[1] == 'P' || ext[1] == 'p') && (ext[2] == 'K' || ext[2] == 'k'))
                meaningless("a packet by mail: " + name);
            continue;
        }
        std::string bytes;
        if (std::FILE* f = std::fopen(e.path().c_str(), "rb")) {
            char buf[65536];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
            std::fclose(f);
        }
        checkedpacket p = checkpacket(bytes);
        if (!p.error.empty()) meaningless(name + ": " + p.error);
        if (p.orignode != 5556) meaningless(name + ": not the gateway's packet");
        for (const checkedmessage& m : p.messages) {
            bool isecho = m.text.rfind("AREA:PONDLARK.TEST\r", 0) == 0;
            std::string problem = checkmeaning(m, isecho ? echo : netmail);
            if (!problem.empty()) meaningless(name + ": " + problem);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    fuzzreset();
    for (const char* d : {"in/.keep", "out/.keep", "soup/.keep", "tmp/.keep", "dec/.keep"})
        fuzzfile(d, "");
    std::uint8_t how = data[0];
    bool news = how & 1;
    std::string areas = news ? "0000001\talt.test\tBn\n" : "0000001\tEmail\tbn\n";
    fuzzfile("soup/AREAS", areas);
    std::string_view msg = fuzzinput(data + 1, size - 1);
    std::string record(4, '\0');
    for (int i = 0; i < 4; ++i) record[static_cast<std::size_t>(i)] = static_cast<char>(msg.size() >> (24 - 8 * i));
    record.append(msg);
    fuzzfile("soup/0000001.MSG", record);
    std::string config = std::string(CONFIG) + CHARSETS[(how >> 1) & 7] +
                         (how & 16 ? "StripKludges Some\n" : "StripKludges No\n") +
                         (how & 32 ? "ImportLimit 1024\n" : "");
    fuzzfile("gate.cfg", config);
    fuzzworkdir work;
    if (!work.entered()) return 0;
    if (readconfigfile("./gate.cfg", "pondlark") != 0) return 0;
    runimport();
    checkinbound();
    return 0;
}
