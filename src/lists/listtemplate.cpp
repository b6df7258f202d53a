#include "lists/listtemplate.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "export/datezone.h"
#include "export/msgidprint.h"
#include "import/curmsg.h"
#include "lists/listlines.h"
#include "lists/listmail.h"

namespace {

// A template line may grow by this much through its macros (at least to
// 255 characters); a line of many macros cannot grow without bound.
constexpr std::size_t MACROGROWTH = 128;
constexpr std::size_t MINLINECAPACITY = 256;

std::string listaddress(const listrecord& list) {
    return list.listaddress.value_or("");
}

std::string templateheader(const listrecord& list, const memberdata& to) {
    const std::time_t now = nowtime();
    const std::string address = listaddress(list);
    std::string h;
    appendaddressline(h, "To", to.address.sv(), to.name.sv());
    appendaddressline(h, "From", address, list.listname.value_or(""));
    appendheaderline(h, "Reply-to", address);
    appendtextline(h, "Subject", "Re: " + curmsg.msgsubj.str(), listcharset());
    long offset = 0;
    const msgtimes local = gatewaynow(offset);
    appenddateline(h, local, offset);
    const std::uint32_t id = uniqueidnumber(to.address.sv(), curmsg.msgsubj.sv(), now);
    appendheaderline(h, "Message-ID", "<admin-" + std::to_string(id) + "-" + address + ">");
    // A message without a Message-ID has nothing a reply could refer to.
    if (curmsg.fidomsgid != 0 || !curmsg.msgid.empty()) {
        appendheaderline(h, "In-Reply-To",
                         msgidtext(curmsg.msgid.sv(), curmsg.fidomsgid, curmsg.msgidaddr));
    }
    // The sender's own organisation stays the reply's; the gateway's then
    // travels in a header of its own.
    if (!curmsg.msgorganization.empty()) {
        appendtextline(h, "Organization", curmsg.msgorganization.sv(), listcharset());
        if (!cfg.organization.empty()) appendtextline(h, "X-MailListOrg", cfg.organization.sv());
    } else if (!cfg.organization.empty()) {
        appendtextline(h, "Organization", cfg.organization.sv());
    }
    appendmailserverline(h);
    h.append("\n");
    return h;
}

// Fills the macros of one template line, in their fixed order.
void fillmacros(std::string& line, const listrecord& list, const memberdata& to) {
    const std::size_t capacity = std::max(MINLINECAPACITY, line.size() + MACROGROWTH + 1);
    replacemacro(line, capacity, "@LISTNAME@", textornull(list.listname));
    replacemacro(line, capacity, "@LISTADDRESS@", textornull(list.listaddress));
    replacemacro(line, capacity, "@LISTAREA@", textornull(list.listarea));
    replacemacro(line, capacity, "@YOURNAME@", to.name.c_str());
    replacemacro(line, capacity, "@YOURADDRESS@", to.address.c_str());
    replacemacro(line, capacity, "@PASSWORD@", to.password.c_str());
    replacemacro(line, capacity, "@KEEPERNAME@", textornull(list.keepername));
    replacemacro(line, capacity, "@KEEPERADDRESS@", textornull(list.keeperaddress));
}

// Copies the template into the reply, whole lines at a time so that no
// macro is ever cut in two. Returns 0, -1 when reading failed, -2 when
// writing failed.
int copytemplate(std::FILE* in, std::FILE* out, const listrecord& list, const memberdata& to) {
    std::string line;
    int r;
    while ((r = readlistline(in, line)) == 1) {
        fillmacros(line, list, to);
        if (writeall(out, line.data(), line.size()) != 0) return -2;
    }
    return r < 0 ? -1 : 0;
}

int writetemplate(std::FILE* in, const listrecord& list, const memberdata& to,
                  const std::string& path, replymsg& h) {
    const std::string head = templateheader(list, to);
    int r = writeall(h.f, head.data(), head.size()) == 0 ? copytemplate(in, h.f, list, to) : -2;
    // Flushed now, so that a full disk shows before any membership change.
    if (r == 0 && std::fflush(h.f) != 0) r = -2;
    if (r == 0) return 1;
    if (r == -1) {
        logprintf("! unable to read template %s\n", path.c_str());
    } else {
        logprintf("Error: can't write reply file %s\n", h.path.c_str());
    }
    abortreply(h);
    return -1;
}

void logreply(const listrecord& list, const memberdata& to, const std::string& path) {
    std::string line = "+ reply from ";
    appendaddress(line, listaddress(list), list.listname.value_or(""));
    line += " to ";
    appendaddress(line, to.address.sv(), to.name.sv());
    line += ": " + path;
    logprintf("%s\n", line.c_str());
}

}  // namespace

int composetemplate(const listrecord& list, const memberdata& to, const listtext& templ,
                    replymsg& h) {
    abortreply(h);
    if (!templ) return 0;
    fileptr in = openfile(*templ, "rb");
    if (!in) {
        // The operator named a file that is not there: the reply cannot
        // go out, but waiting for another run would not bring it either.
        logprintf("! unable to open template %s\n", templ->c_str());
        return 0;
    }
    if (openreply(REPLY_MAIL, h) != 0) return -1;
    return writetemplate(in.get(), list, to, *templ, h);
}

int finishtemplate(const listrecord& list, const memberdata& to, const listtext& templ,
                   replymsg& h) {
    if (!h.f) return 0;
    if (closereply(h) != 0) return -1;
    if (run.verbose) logreply(list, to, templ.value_or(""));
    ++stats.listreplycount;
    return 0;
}

int sendlisttemplate(const listrecord& list, const memberdata& to, const listtext& templ) {
    replymsg h;
    int r = composetemplate(list, to, templ, h);
    if (r <= 0) return r;
    return finishtemplate(list, to, templ, h);
}
