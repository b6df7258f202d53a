#include "lists/listserver.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/fileio.h"
#include "base/mailbox.h"
#include "base/text.h"
#include "config/settings.h"
#include "driver/log.h"
#include "export/datezone.h"
#include "export/msgidprint.h"
#include "import/curmsg.h"
#include "import/replies.h"
#include "lists/listfiles.h"
#include "lists/listheaders.h"
#include "lists/listmail.h"
#include "lists/listtemplate.h"
#include "lists/memberfile.h"
#include "lists/memberindex.h"

namespace {

// The sender of the current message as the list sees it: a member with the
// place of its record and index entry, or a newcomer made up for replies.
struct listsender {
    memberdata data;
    memberlink link;
    long pos = -1;
    bool member = false;
};

listsender findsender(const listrecord& list) {
    listsender s;
    const memberentry* entry = nullptr;
    s.member = finduserdata(list, curmsg.msgfromemail.sv(), &s.data, &s.link, &entry) == 1;
    if (s.member) {
        s.pos = entry->pos;
    } else {
        createuserdata(list, s.data);
    }
    return s;
}

// A ListPassword given without a value makes no passwords (calcpassword),
// so it must not ask for one either: nobody could ever pass.
bool haspassword(const listrecord& list) {
    return list.listpassword && !list.listpassword->empty();
}

// The first two words after the command word of the subject. The command
// word is the subject's whole first word, so that "changepassword old new"
// reads old and new.
struct commandwords {
    text128 first, second;
};

commandwords subjectwords(std::string_view subject) {
    auto white = [](char c) { return iswhite(static_cast<unsigned char>(c)); };
    auto nextword = [&](std::size_t& at) {
        while (at < subject.size() && white(subject[at])) ++at;
        std::size_t start = at;
        while (at < subject.size() && !white(subject[at])) ++at;
        return subject.substr(start, at - start);
    };
    std::size_t at = 0;
    nextword(at);
    commandwords w;
    w.first = nextword(at);
    w.second = nextword(at);
    return w;
}

// Checks the password words of a command. Returns false when the command
// is to be answered with PasswordInfo; newpass receives the new password
// of a changepass. A list without ListPassword asks for none, and its
// changepass takes the new password as the first word.
bool passwordaccepted(const listrecord& list, int command, const memberdata& data,
                      text128& newpass) {
    const commandwords w = subjectwords(curmsg.msgsubj.sv());
    if (!haspassword(list)) {
        if (command != LISTCMD_CHANGEPASS) return true;
        newpass = w.first;
        return !newpass.empty();
    }
    if (w.first.empty()) return false;
    if (command == LISTCMD_CHANGEPASS && w.second.empty()) return false;
    if (w.first.sv() != data.password.sv()) return false;
    newpass = w.second;
    return true;
}

// Reports a list file change that failed. A record that does not match
// its index entry will not match in another run either: the message is
// done with. Anything else may succeed later, so the caller keeps it.
int changefailed(const listrecord& list, int result, const char* what) {
    if (result == USERFILE_MISMATCH) {
        logprintf("! internal consistency error in file %s\n", list.listfile.c_str());
        return 0;
    }
    logprintf("! unable to %s %s\n", what, list.listfile.c_str());
    return -1;
}

// Every command composes its reply first and changes the list file
// second, so that a reply that cannot be written leaves the membership as
// it was and the message can simply be handled again in the next run.

int subscribe(listrecord& list, listsender& s) {
    replymsg h;
    if (composetemplate(list, s.data, list.welcome, h) < 0) return -1;
    if (!s.member) {
        long pos = 0;
        int r = appenduserrecord(list, s.data, pos);
        if (r != USERFILE_OK) {
            abortreply(h);
            return changefailed(list, r, "add new user to");
        }
        addmember(list, s.data.address.sv(), pos);
    }
    return finishtemplate(list, s.data, list.welcome, h);
}

int unsubscribe(listrecord& list, listsender& s) {
    replymsg h;
    if (composetemplate(list, s.data, list.goodbye, h) < 0) return -1;
    int r = deleteuserrecord(list, s.pos, s.data.address.sv());
    if (r != USERFILE_OK) {
        abortreply(h);
        return changefailed(list, r, "delete user from");
    }
    removemember(list, s.link);
    return finishtemplate(list, s.data, list.goodbye, h);
}

int changepass(listrecord& list, listsender& s, const text128& newpass) {
    s.data.password = newpass;
    replymsg h;
    if (composetemplate(list, s.data, list.newpassword, h) < 0) return -1;
    long newpos = 0;
    int r = replaceuserrecord(list, s.pos, s.data, newpos);
    if (r != USERFILE_OK) {
        abortreply(h);
        return changefailed(list, r, "change user data in");
    }
    movemember(list, s.link, newpos);
    return finishtemplate(list, s.data, list.newpassword, h);
}

// The "Bcc:" line: every member who is not black-listed, the sender and
// read-only members included, two addresses to a line.
std::string bccline(const listrecord& list) {
    std::string line = "Bcc: ";
    long written = 0;
    walkmembers(list, [&](const memberdata& m) {
        if (!receiveslistmail(list, m)) return;
        if (written > 0) line.append(written % 2 == 1 ? ", " : ",\n   ");
        line.append("<");
        appendvalue(line, m.address.sv());
        line.append(">");
        ++written;
    });
    line.append("\n");
    return line;
}

void appendmimelines(std::string& h) {
    h.append("Mime-version: 1.0\n");
    if (!curmsg.mimetype.empty()) {
        appendheaderline(h, "Content-Type", curmsg.mimetype);
    } else {
        const std::string_view charset =
            curmsg.rfccharset.empty() ? std::string_view("us-ascii") : curmsg.rfccharset.sv();
        appendheaderline(h, "Content-Type", "text/plain; charset=" + std::string(charset));
    }
    appendheaderline(h, "Content-Transfer-Encoding",
                     curmsg.mimecte.empty() ? std::string_view("7bit") : curmsg.mimecte.sv());
}

std::string postingheader(const listrecord& list) {
    const std::string address = list.listaddress.value_or("");
    std::string h = bccline(list);
    if (list.fromrewrite == 1) {
        // The author's own domain may publish a DMARC policy that the
        // list's servers cannot pass: the posting comes from the list, and
        // replies go to the author.
        appendnamedaddressline(h, "From", rewrittenname(list, curmsg.msgfromemail.sv(), curmsg.msgfromname.sv()),
                               address, listcharset());
        appendaddressline(h, "Reply-to", curmsg.msgfromemail.sv(), curmsg.msgfromname.sv(), listcharset());
    } else {
        appendaddressline(h, "From", curmsg.msgfromemail.sv(), curmsg.msgfromname.sv(), listcharset());
        appendheaderline(h, "Reply-to", address);
    }
    appendheaderline(h, "Sender", address);
    appendlistlines(h, list, listcharset());
    appendtextline(h, "Subject", curmsg.msgsubj.sv(), listcharset());
    // The posting's own zone, or the gateway's on that date.
    long offset = 0;
    if (!datezoneoffset(curmsg.tzinfo.sv(), offset)) offset = gatewayoffsetfor(curmsg.msgtime);
    appenddateline(h, curmsg.msgtime, offset);
    appendheaderline(h, "Message-ID", postingmessageid(curmsg.msgid.sv(), address));
    if (curmsg.fidoreplyid != 0 || !curmsg.replyid.empty()) {
        appendheaderline(h, "In-Reply-To",
                         msgidtext(curmsg.replyid.sv(), curmsg.fidoreplyid, curmsg.replyidaddr));
    }
    if (!cfg.organization.empty()) appendtextline(h, "Organization", cfg.organization.sv());
    appendmailserverline(h);
    appendmimelines(h);
    h.append("\n");
    return h;
}

// Copies the body, exactly the bytes from bodystart up to msgend: the
// message that follows in the file never leaks into the copy, and a last
// line without a line feed is kept. Returns 0, -1 when reading failed, -2
// when writing failed.
int copybody(std::FILE* in, long bodystart, long msgend, std::FILE* out) {
    if (bodystart >= msgend) return 0;
    if (!in || std::fseek(in, bodystart, SEEK_SET) != 0) return -1;
    char buf[4096];
    long left = msgend - bodystart;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<long>(left, sizeof buf));
        const std::size_t got = std::fread(buf, 1, want, in);
        if (got != want) return -1;
        if (writeall(out, buf, got) != 0) return -2;
        left -= static_cast<long>(got);
    }
    return 0;
}

// Sends a member's posting to every member as one message with a "Bcc:"
// list. Returns 1, or -1 when it could not be written whole.
int distribute(const listrecord& list, std::FILE* msgfile, long bodystart, long msgend) {
    replymsg h;
    if (openreply(REPLY_MAIL, h) != 0) return -1;
    const std::string head = postingheader(list);
    int r = writeall(h.f, head.data(), head.size()) == 0 ? copybody(msgfile, bodystart, msgend, h.f)
                                                         : -2;
    if (r == -1) {
        logprintf("! unable to read the posting to %s\n", list.listaddress.value_or("").c_str());
    } else if (r == -2) {
        logprintf("Error: can't write reply file %s\n", h.path.c_str());
    }
    if (r != 0) {
        abortreply(h);
        return -1;
    }
    return closereply(h) == 0 ? 1 : -1;
}

// A sender whose address is not one mailbox ("x@evil;v1@a;v2@b") would
// become a member that receives, and a reply that goes to, every address
// it holds: nothing is done for it, and nothing is sent to it.
bool senderusable(const listrecord& list) {
    if (ismailbox(curmsg.msgfromemail.sv())) return true;
    logprintf("! mail to list %s from %s, which is no single Internet address: not handled\n",
              list.listname.value_or("").c_str(), curmsg.msgfromemail.c_str());
    return false;
}

// A template sent instead of a distribution: 0, or -1 when it failed.
int refuse(const listrecord& list, const memberdata& to, const listtext& templ) {
    return sendlisttemplate(list, to, templ) < 0 ? -1 : 0;
}

}  // namespace

int processlistcommand(std::size_t list, int command) {
    if (list >= lists.listconfig.size()) return 0;
    if (command < LISTCMD_SUBSCRIBE || command > LISTCMD_CHANGEPASS) return 0;
    listrecord& l = lists.listconfig[list];
    if (!senderusable(l)) return 0;
    listsender s = findsender(l);
    if (!s.member && command != LISTCMD_SUBSCRIBE) {
        return sendlisttemplate(l, s.data, l.subscribeinfo);
    }
    if (s.data.status == STATUS_BLACKLISTED) return sendlisttemplate(l, s.data, l.blacklist);
    text128 newpass;
    if (!passwordaccepted(l, command, s.data, newpass)) {
        return sendlisttemplate(l, s.data, l.passwordinfo);
    }
    switch (command) {
        case LISTCMD_SUBSCRIBE:
            return subscribe(l, s);
        case LISTCMD_UNSUBSCRIBE:
            return unsubscribe(l, s);
        default:
            return changepass(l, s, newpass);
    }
}

int sendlistmessage(std::size_t list, std::FILE* msgfile, long bodystart, long msgend) {
    if (list >= lists.listconfig.size()) return 0;
    const listrecord& l = lists.listconfig[list];
    if (!senderusable(l)) return 0;
    const listsender s = findsender(l);
    if (!s.member) return refuse(l, s.data, l.subscribeinfo);
    if (s.data.status == STATUS_BLACKLISTED) return refuse(l, s.data, l.blacklist);
    if (s.data.status == STATUS_READONLY) return refuse(l, s.data, l.readonly);
    if (l.usercount == 0) return 1;
    return distribute(l, msgfile, bodystart, msgend);
}
