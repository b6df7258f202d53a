#include "export/refusal.h"

#include <algorithm>

#include "driver/log.h"
#include "export/ftnnames.h"
#include "import/curmsg.h"

namespace {
constexpr std::size_t SHOWNRECIPIENTS = 5;
}

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

void refuseexport(const exportrefusal& r) {
    logprintf("! %s\n", refusaltext(r).c_str());
    // The netmail to the sender that says why goes out through the
    // gateway's notices to FidoNet senders once they are in place; until
    // then the log line above is what the sysop sees.
    (void)r.netmail;
}
