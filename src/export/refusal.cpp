#include "export/refusal.h"

#include <algorithm>

#include "bounce/bounce.h"
#include "driver/log.h"
#include "export/ftnnames.h"
#include "export/msgidprint.h"
#include "export/pktreader.h"
#include "export/textcharset.h"
#include "import/curmsg.h"

namespace {

constexpr std::size_t SHOWNRECIPIENTS = 5;
// What of the text a bounce shows, at most.
constexpr int FIRSTLINES = 10;
constexpr std::size_t LINEMAX = 255;

// The first lines of the body (kludges left out), the input left where it was.
std::string firstlines(pktinput& in, const exportmsg& m) {
    long start = in.tell();
    std::string text;
    char line[LINEMAX + 1];
    for (int n = 0; n < FIRSTLINES;) {
        std::size_t len = 0;
        int r = readasciicr(in, line, LINEMAX, len);
        if (len > 0 && line[0] != '\x01') {
            text += fidotextutf8(std::string_view(line, len), m) + "\n";
            ++n;
        }
        if (r == 0) break;
    }
    (void)in.seek(start);
    return text;
}

void tellsender(const std::vector<exportrefusal>& refusals, const exportmsg& m, pktinput& in) {
    bouncenotice n;
    bool whole = false;
    for (const exportrefusal& r : refusals) {
        whole = whole || r.whole;
        n.recipients.insert(n.recipients.end(), r.recipients.begin(), r.recipients.end());
        n.detail += "The gateway did not send it" + std::string(r.recipients.empty() ? "" : " to them") + ": " +
                    r.why + ".\n";
    }
    n.headline = whole ? "Mail not sent" : "Recipients refused";
    if (!whole) n.detail += "The message went to its other recipients.\n";
    n.subject = fidotextutf8(curmsg.msgsubj.sv(), m);
    n.firstlines = firstlines(in, m);
    n.toname = fidotextutf8(curmsg.msgfromname.sv(), m);
    n.toaddr = curmsg.fromaddr;
    // The Internet Message-ID the message has (or would have had).
    n.key = msgidtext(curmsg.msgid.sv(), curmsg.fidomsgid, curmsg.msgidaddr) + ":refused";
    (void)sendbounce(n);
}

}  // namespace

std::string refusaltext(const exportrefusal& r) {
    std::string t = "refused ";
    if (!r.recipients.empty()) {
        t += r.recipients.size() == 1 ? "recipient " : "recipients ";
        // A message may name a thousand: the first few say what it was.
        std::size_t shown = std::min<std::size_t>(r.recipients.size(), SHOWNRECIPIENTS);
        for (std::size_t i = 0; i < shown; ++i) {
            if (i > 0) t += ", ";
            t += r.recipients[i];
        }
        if (shown < r.recipients.size()) t += " and " + std::to_string(r.recipients.size() - shown) + " more";
        t += " of ";
    }
    t += "msg from " + ftnaddrtext(curmsg.fromaddr) + " (" + curmsg.msgfromname.str() + "), subject \"" +
         curmsg.msgsubj.str() + "\": " + r.why;
    return t;
}

void refuseexport(const std::vector<exportrefusal>& refusals, const exportmsg& m, pktinput& in) {
    bool netmail = false;
    for (const exportrefusal& r : refusals) {
        logprintf("! %s\n", refusaltext(r).c_str());
        netmail = netmail || r.netmail;
    }
    if (netmail && !refusals.empty()) tellsender(refusals, m, in);
}
