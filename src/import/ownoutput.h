// What the gateway sent itself, come back in: recognised on import so that
// it never feeds on its own output. Mail that PondLark wrote (export's
// X-MailConverter with one of its own Message-IDs, the list server's
// X-MailServer from one of its lists), the output of the cron job that
// runs it, a delivery report about mail the gateway did not send (sent to
// the gateway's own address), and news carrying the gateway's own Path
// entry are not imported: the driver logs them and keeps them in the junk
// folder. Mail of these kinds still goes where it is addressed when it is
// addressed to someone in FidoNet (an AddrMap address or name, an address
// in a gateway domain) or, for export's own mail, to one of the gateway's
// mailing lists: a FidoNet user writing to another one's Internet address,
// or to a list the gateway runs, is no loop.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The marks a message's own header can carry (curmsg.selfmarks).
enum selfmarks {
    SELF_CONVERTER = 1,  // "X-MailConverter: PondLark-..." (export)
    SELF_MAILSERVER = 2, // "X-MailServer: PondLark-..." (the list server)
    SELF_CRON = 4,       // "X-Cron-Env:" (cron's mail of a job's output)
    SELF_PATH = 8        // a "Path:" with the gateway's own entry
};

// Header fields of the message's own header that mark it (the header table
// of headerlines.cpp calls them; a part's header does not count). They set
// bits of curmsg.selfmarks and return true.
bool mailconverterfield(std::string& value);
bool mailserverfield(std::string& value);
bool cronenvfield(std::string& value);
bool pathfield(std::string& value);

// Why the current message, as the parse pass left it, is the gateway's own
// output come back ("cron output", ...), or empty when it is not. A
// delivery report has its body read (from f, bodystart to msgend, at most
// the first 256 KiB) for the header of the message it reports on. Reads
// `curmsg`, `tables`, `lists`.
std::string ownoutput(std::FILE* f, long bodystart, long msgend);
