#include "import/curmsg.h"

#include <ctime>

#include "base/clock.h"

currentmessage curmsg;

msgtimes localmsgtime(std::time_t now) {
    std::tm tm = localclock(now);
    msgtimes t;
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.month = static_cast<std::uint16_t>(tm.tm_mon);
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    t.second = static_cast<std::uint16_t>(tm.tm_sec);
    return t;
}

void resetmessage() {
    curmsg.msgfromemail.clear();
    curmsg.msgfromname.clear();
    curmsg.msgtoemail.clear();
    curmsg.msgtoname.clear();
    curmsg.msgreplyemail.clear();
    curmsg.msgreplyname.clear();
    curmsg.xfrom.clear();
    curmsg.sender.clear();
    curmsg.quotename.clear();
    curmsg.quoteemail.clear();
    curmsg.msgsubj.clear();
    curmsg.msgorganization.clear();
    curmsg.msgid.clear();
    curmsg.messageid.clear();
    curmsg.replyid.clear();
    curmsg.routemailpwd.clear();
    curmsg.routemailsubj.clear();
    curmsg.rfccharset.clear();
    curmsg.mimetype.clear();
    curmsg.mimecte.clear();
    curmsg.tzinfo.clear();
    curmsg.msgtime = localmsgtime(nowtime());
    // Serials of an earlier message must never pass for this one's.
    curmsg.msgidaddr = fidoaddr{};
    curmsg.fidomsgid = 0;
    curmsg.validmsgid = 0;
    curmsg.replyidaddr = fidoaddr{};
    curmsg.fidoreplyid = 0;
    curmsg.validreplyid = 0;
    curmsg.emaillist.clear();
    curmsg.xpost.clear();
    curmsg.fromnametext = curmsg.tonametext = curmsg.replynametext = fieldtext{};
    curmsg.subjtext = curmsg.orgtext = fieldtext{};
    curmsg.outcharset.clear();
    curmsg.convertcharset = 0;
    curmsg.altchoices.clear();
    curmsg.selfmarks = 0;
    curmsg.headerended = 0;
}
