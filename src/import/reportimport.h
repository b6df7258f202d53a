// Delivery status notifications (and other reports) imported for people:
// instead of a netmail whose status block became a file, the FidoNet
// sender of the mail that came back gets a netmail with the report's
// explanation as text, its status fields summarised (recipient, action,
// status, diagnostic) and the subject of their own message in the subject.
// The sender is found in the gateway's record of the mail it sent (by the
// returned message's Message-ID, else by the address it went to), else
// from the returned message's own From and Message-ID; a report that
// belongs to nobody known goes where classification sent it.
#pragma once

#include <cstdio>
#include <string_view>

#include "import/classify.h"
#include "import/rangereader.h"

enum reportresults { REPORT_NONE = 0, REPORT_WRITTEN = 1, REPORT_FAILED = -1 };

// Whether the current message (after classification with verdict v) is to
// be looked at as a report: mail for netmail, not junk or list traffic,
// whose Content-Type, sender or subject says it may be one. Cheap.
bool reportcandidate(const msgverdict& v);

// Whether a report (its top Content-Type value and its body) is about
// mail the gateway's record of mail sent knows: by the returned Message-ID
// or by the address a report names. Such a report is the gateway's own
// business, however it is addressed.
bool reportonsentmail(std::string_view contenttype, std::string_view body);

// Reads the message r of f; when it is a report, writes it as described
// into the open packet (outpkt) and returns REPORT_WRITTEN; REPORT_NONE
// when it is none (import it as usual); REPORT_FAILED when the message
// could not be read or the packet not written. Reads and sets `curmsg`
// (destination, names, subject, character set); reads the records of mail
// sent (bounce/sentmail.h).
int importreport(std::FILE* f, const msgrange& r);
