#include "import/ownoutput.h"

#include <unistd.h>

#include <vector>

#include "base/identity.h"
#include "base/text.h"
#include "config/tables.h"
#include "import/curmsg.h"
#include "import/ftnform.h"
#include "lists/listfiles.h"

namespace {

constexpr long REPORTSCAN = 256 * 1024;

// A value that names this program: "PondLark-Linux v1.05".
bool namesthisprogram(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return istartswith(value, PROGNAME "-");
}

bool mark(int bit) {
    // A part's header is no header of the message.
    if (!curmsg.headerended) curmsg.selfmarks |= bit;
    return true;
}

// The address part of a field holding an address ("Name <a@b>", "a@b (Name)").
std::string_view addressof(std::string_view field) {
    std::size_t lt = field.find('<');
    if (lt != std::string_view::npos) {
        std::size_t gt = field.find('>', lt);
        return field.substr(lt + 1, gt == std::string_view::npos ? std::string_view::npos : gt - lt - 1);
    }
    std::size_t start = field.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    std::size_t end = field.find_first_of(" \t(", start);
    return field.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool islistaddress(std::string_view address) {
    if (address.empty()) return false;
    for (const listrecord& l : lists.listconfig) {
        if (l.listaddress && strieq(*l.listaddress, address)) return true;
    }
    return false;
}

// An address of someone in FidoNet: mapped, or in a gateway domain.
bool isfidonetaddress(std::string_view address) {
    if (address.empty()) return false;
    if (hasmapdomain(address)) return true;
    for (const addrmapentry& e : tables.addrmap) {
        if ((!e.email.empty() && strieq(e.email.sv(), address)) ||
            (!e.replyemail.empty() && strieq(e.replyemail.sv(), address)))
            return true;
    }
    return false;
}

bool isfidonetname(std::string_view name) {
    if (name.empty()) return false;
    for (const addrmapentry& e : tables.addrmap) {
        if (!e.name.empty() && strieq(e.name.sv(), name)) return true;
    }
    return false;
}

// Whether a recipient of the mail is someone in FidoNet (or, with lists,
// one of the gateway's mailing lists).
bool addressedtofidonet(bool lists) {
    auto counts = [lists](std::string_view address, std::string_view name) {
        return isfidonetaddress(address) || (lists && islistaddress(address)) ||
               (!name.empty() && !strieq(name, address) && isfidonetname(name));
    };
    if (counts(curmsg.msgtoemail.sv(), curmsg.msgtoname.sv())) return true;
    for (const emailentry& r : curmsg.emaillist) {
        if (counts(r.email, r.name)) return true;
    }
    return false;
}

// A Message-ID export makes: a FidoNet serial and address in a gateway
// domain, or a serial in a zone's plain domain.
bool ownmessageid() {
    std::string_view id = curmsg.msgid.sv();
    fidoaddr a;
    std::uint32_t serial = 0;
    if (decodeftnmsgid(id, a, serial)) return true;
    std::size_t at = id.find('@');
    if (at == std::string_view::npos) return false;
    std::string_view host = id.substr(at + 1);
    for (const domainentry& d : tables.fidodomain) {
        const std::string& dom = d.domain;
        if (!dom.empty() && dom[0] != '#' && dom.find('@') == std::string::npos && strieq(dom, host))
            return true;
    }
    return false;
}

bool fromalist() {
    return islistaddress(curmsg.msgfromemail.sv()) || islistaddress(addressof(curmsg.sender.sv()));
}

// Cron's mail of a job's output: "X-Cron-Env:" lines, or its subject
// "Cron <user@host> command" from the "Cron Daemon".
bool cronoutput() {
    if (curmsg.selfmarks & SELF_CRON) return true;
    return istartswith(curmsg.msgsubj.sv(), "Cron <") &&
           substrcmp("Cron Daemon", curmsg.msgfromname.sv()) != 0;
}

bool isdeliveryreport() {
    std::string_view from = curmsg.msgfromemail.sv();
    std::string_view local = from.substr(0, from.find('@'));
    return strieq(local, "MAILER-DAEMON") || istartswith(curmsg.mimetype, "multipart/report");
}

// Whether the report's body holds the header of mail this program wrote.
bool reportsonownmail(std::FILE* f, long bodystart, long msgend) {
    if (!f || msgend <= bodystart) return false;
    long n = std::min(msgend - bodystart, REPORTSCAN);
    std::string body(static_cast<std::size_t>(n), '\0');
    ssize_t got = pread(fileno(f), body.data(), body.size(), bodystart);
    if (got <= 0) return false;
    body.resize(static_cast<std::size_t>(got));
    return substrcmp("X-MailConverter: " PROGNAME "-", body) != 0 ||
           substrcmp("X-MailServer: " PROGNAME "-", body) != 0;
}

}  // namespace

bool mailconverterfield(std::string& value) {
    return namesthisprogram(value) ? mark(SELF_CONVERTER) : true;
}

bool mailserverfield(std::string& value) {
    return namesthisprogram(value) ? mark(SELF_MAILSERVER) : true;
}

bool cronenvfield(std::string&) {
    return mark(SELF_CRON);
}

// "Path: news.example!pondlark!not-for-mail": entries end at "!" (and at
// blanks, which some servers put around them).
bool pathfield(std::string& value) {
    std::string_view rest = value;
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of("! \t");
        std::string_view entry = rest.substr(0, end);
        if (strieq(entry, PATHENTRY)) return mark(SELF_PATH);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return true;
}

std::string ownoutput(std::FILE* f, long bodystart, long msgend) {
    if (curmsg.msgtype == MSGTYPE_NEWS) {
        // An article the gateway posted is in FidoNet already.
        if (curmsg.selfmarks & SELF_PATH) return "its own Path entry";
        if ((curmsg.selfmarks & SELF_CONVERTER) && ownmessageid()) return "its own article";
        return {};
    }
    if ((curmsg.selfmarks & SELF_CONVERTER) && ownmessageid() && !addressedtofidonet(true))
        return "its own mail";
    if ((curmsg.selfmarks & SELF_MAILSERVER) && fromalist() && !addressedtofidonet(false))
        return "its own list mail";
    if (cronoutput() && !addressedtofidonet(false)) return "cron output";
    if (isdeliveryreport() && !addressedtofidonet(false) && !reportsonownmail(f, bodystart, msgend))
        return "a delivery report about the gateway's own address";
    return {};
}
