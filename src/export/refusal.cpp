#include "export/refusal.h"

#include "driver/log.h"
#include "export/ftnnames.h"
#include "import/curmsg.h"

std::string refusaltext(const exportrefusal& r) {
    std::string t = "refused ";
    if (!r.recipients.empty()) {
        t += r.recipients.size() == 1 ? "recipient " : "recipients ";
        for (std::size_t i = 0; i < r.recipients.size(); ++i) {
            if (i > 0) t += ", ";
            t += r.recipients[i];
        }
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
