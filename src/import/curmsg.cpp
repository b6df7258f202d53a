#include "import/curmsg.h"

currentmessage curmsg;

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
    curmsg.replyid.clear();
    curmsg.routemailpwd.clear();
    curmsg.routemailsubj.clear();
    curmsg.rfccharset.clear();
    curmsg.mimetype.clear();
    curmsg.mimecte.clear();
    curmsg.tzinfo.clear();
    curmsg.emaillist.clear();
    curmsg.xpost.clear();
}
