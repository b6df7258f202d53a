#include "export/convert.h"

#include <vector>

#include "base/text.h"
#include "config/settings.h"
#include "config/tables.h"
#include "driver/counters.h"
#include "driver/log.h"
#include "driver/runstate.h"
#include "export/attach.h"
#include "export/body.h"
#include "export/exportmsg.h"
#include "export/expstate.h"
#include "export/fromline.h"
#include "export/gatepolicy.h"
#include "export/headerscan.h"
#include "export/recipients.h"
#include "export/rfcheader.h"
#include "export/sender.h"
#include "export/textcharset.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "lists/listfiles.h"

namespace {

// Echomail: news, gated to a mailing list, distributed to a list of the
// list server, or dropped.
void classifyecho(exportmsg& m) {
    std::string_view area = curmsg.fidoareaname.sv();
    if (strieq(area, cfg.ownorgarea.sv()) || strieq(area, cfg.junkarea.sv())) {
        curmsg.areaname.clear();
    } else {
        std::string lower(area);
        strlwr(lower);
        curmsg.areaname = lower;
    }
    for (const areamapentry& a : tables.areamap) {
        if (strieq(a.fidoarea.sv(), area)) {
            curmsg.areaname = a.newsgroup.sv();
            if (a.direction == DIR_IMPORT) m.dropped = true;
            break;
        }
    }
    curmsg.msgtype = MSGTYPE_NEWS;
    for (const maillistentry& l : tables.maillist) {
        if (strieq(l.area.sv(), area)) {
            curmsg.msgtoemail = l.listaddr.sv();
            if (!l.senderaddr.empty()) curmsg.msgfromemail = l.senderaddr.sv();
            curmsg.emaillist.clear();
            curmsg.msgtype = MSGTYPE_MAIL;
            m.gated = true;
            break;
        }
    }
    for (std::size_t i = 0; i < lists.listconfig.size(); ++i) {
        const listtext& la = lists.listconfig[i].listarea;
        if (la && strieq(*la, area)) {
            m.listno = static_cast<int>(i);
            curmsg.msgtype = MSGTYPE_MAIL;
            break;
        }
    }
    if (curmsg.msgtype == MSGTYPE_NEWS && curmsg.areaname.empty()) m.dropped = true;
}

void classify(exportmsg& m) {
    std::string_view area = curmsg.fidoareaname.sv();
    if (strieq(area, "NETMAIL") || strieq(area, cfg.emailarea.sv())) {
        curmsg.areaname = "Email";
        curmsg.msgtype = MSGTYPE_MAIL;
    } else {
        classifyecho(m);
    }
}

// An empty file attach still carries files when the attachment list holds
// some that the converter sends (not only packets for the gateway).
bool sendsfilesonly(int flowlistvalid) {
    if (!curmsg.isfattach || !flowlistvalid || flowfiles() == 0) return false;
    if (curmsg.routing != ROUTING_GATEWAY) return true;
    for (const flowentry& e : expstate.flowfilelist) {
        if (e.kind != FLOW_PACKET) return true;
    }
    return false;
}

void warnings(const exportmsg& m) {
    const fidoaddr& a = curmsg.fromaddr;
    const char* name = curmsg.msgfromname.c_str();
    if (m.tolimit) {
        logprintf("! To/Copy-limit exceeded in msg from %hu:%hu/%hu.%hu (%s)\n", a.zone, a.net,
                  a.node, a.point, name);
    }
    if (m.xpostlimit) {
        logprintf("! XPost-limit exceeded in msg from %hu:%hu/%hu.%hu (%s)\n", a.zone, a.net,
                  a.node, a.point, name);
    }
    if (m.touucp && curmsg.emaillist.empty()) {
        logprintf("! No To-address specified in msg from %hu:%hu/%hu.%hu (%s)\n", a.zone, a.net,
                  a.node, a.point, name);
    }
}

void countmessage(const exportmsg& m) {
    stats.messagecount++;
    if (curmsg.msgtype == MSGTYPE_MAIL) {
        stats.emailcount++;
    } else {
        stats.newscount++;
    }
    if (m.listno >= 0) stats.listmsgcount++;
}

void verboseline(const exportmsg& m) {
    if (!run.verbose) return;
    const fidoaddr& a = curmsg.fromaddr;
    std::string to;
    if (m.listno >= 0) {
        to = lists.listconfig[m.listno].listname.value_or("");
    } else if (curmsg.msgtype == MSGTYPE_MAIL) {
        to = curmsg.msgtoemail.str();
        std::size_t used = m.touucp || m.addresseerefused ? 1 : 0;
        if (curmsg.emaillist.size() > used) to += " et al.";
    } else {
        to = curmsg.areaname.str() + " newsgroup";
        if (!curmsg.xpost.empty()) to += " et al.";
    }
    logprintf("- from %hu:%hu/%hu.%hu (%s) to %s\n", a.zone, a.net, a.node, a.point,
              curmsg.msgfromname.c_str(), to.c_str());
}

// Consumes the rest of a message that is not exported.
int dropmessage(pktinput& in, int result) {
    in.skipzero();
    if (in.readerror()) return EXPORT_FAILED;
    return in.cut() ? EXPORT_CUT : result;
}

// Appends the message to its reply file; the input is at the body.
int writemessage(pktinput& in, const exportmsg& m, int flowlistvalid) {
    replymsg h;
    if (openreplyheld(curmsg.msgtype, h) != 0) return dropmessage(in, EXPORT_FAILED);
    replyappend(h, rfcheader(m));
    std::vector<attachdone> done;
    std::vector<attachitem> plan;
    if (curmsg.isfattach) plan = planattachments(m, flowlistvalid);
    // Once the body is written the text has been read through its zero.
    bool textread = writebody(in, h, m) == 0;
    bool ok = textread;
    // The text says which of the files it announces do not come with it.
    for (const attachitem& item : plan) {
        if (ok && !item.reason.empty()) appendbodyline(h, m, notattachedline(item));
    }
    if (ok && curmsg.isfattach) ok = writeattachments(h, plan, done) == 0;
    if (!ok || in.readerror()) {
        abortreply(h);
        if (!textread) in.skipzero();
        return EXPORT_FAILED;
    }
    if (in.cut()) {
        abortreply(h);
        return EXPORT_CUT;
    }
    if (closereply(h) != 0) return EXPORT_FAILED;
    finishattachments(done);
    return EXPORT_WRITTEN;
}

// Steps before anything is written: who, what and whether.
void convertheader(exportmsg& m) {
    fixorigin(m);
    applyaliases(m);
    choosecharset(m);
    // Before the classification: a MailingList sender address wins.
    takefromline(m);
    classify(m);
    if (!m.dropped) choosesender(m);
}

// Whether the message may leave, and to whom; every refusal is reported
// (and told to the sender) through refuseexport. The input stays at the body.
bool decideexport(pktinput& in, exportmsg& m) {
    std::vector<exportrefusal> refusals(1);
    if (!mayexport(m, refusals[0])) {
        refuseexport(refusals, m, in);
        return false;
    }
    refusals.clear();
    bool anyone = checkrecipients(m, refusals);
    refuseexport(refusals, m, in);
    return anyone;
}

}  // namespace

int exportmessage(pktinput& in, int flowlistvalid) {
    exportmsg m;
    parsemsgdate();
    startmessage(m);
    if (scanheader(in, m) != 0) return dropmessage(in, EXPORT_FAILED);
    if (curmsg.fidomsgid == 0 && foldtextstart(in, m.serial) != 0) {
        return dropmessage(in, EXPORT_FAILED);
    }
    convertheader(m);
    if (m.dropped) return dropmessage(in, EXPORT_DROPPED);
    if (prescantext(in, m) != 0) return dropmessage(in, EXPORT_FAILED);
    if (m.empty && !sendsfilesonly(flowlistvalid)) return dropmessage(in, EXPORT_DROPPED);
    // Who may send, how much, and to whom: a refused message is consumed
    // like a dropped one, and its refusal reported.
    if (!decideexport(in, m)) return dropmessage(in, EXPORT_DROPPED);
    replytounvouched(m);
    // Mail to UUCP names its recipients in the text; the log shows the first.
    if ((m.touucp || m.addresseerefused) && !curmsg.emaillist.empty())
        curmsg.msgtoemail = curmsg.emaillist[0].email;
    warnings(m);
    int r = writemessage(in, m, flowlistvalid);
    if (r != EXPORT_WRITTEN) return r;
    countexported(m);
    countmessage(m);
    verboseline(m);
    return EXPORT_WRITTEN;
}
