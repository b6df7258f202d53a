// The current message: the one process-wide record of the message being
// converted, in either direction. Import fills it from the Internet header
// and completes it by classification; export fills it from the FidoNet
// message. Every text field keeps its capacity (127 characters unless said).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "base/fidoaddr.h"
#include "base/fixedtext.h"

constexpr std::size_t MAXEMAILLIST = 1024;
constexpr std::size_t MAXXPOST = 1024;
constexpr std::size_t MAXDELIVEREDTO = 8;

enum msgtypes { MSGTYPE_MAIL = 0, MSGTYPE_NEWS = 1 };
enum emailkinds { EMAIL_TO = 1, EMAIL_CC = 2, EMAIL_BCC = 3 };

// A further recipient: the first "To:" address is not here but in msgtoemail.
struct emailentry {
    int kind = EMAIL_TO;
    std::string email;  // up to 127 characters
    std::string name;   // up to 127 characters; empty when none
    int namestate = 0;  // TEXT_* of the name (see fieldtext)

    bool operator==(const emailentry&) const = default;
};

// The date of a message: month 0..11, four-digit year.
struct msgtimes {
    std::uint16_t day = 1;
    std::uint16_t month = 0;
    std::uint16_t year = 1970;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};

// Where the text of a header-derived field came from, so that it can be
// converted once the FidoNet character set is known (import/headertext.h).
enum textstates {
    TEXT_PLAIN = 0,  // ASCII as written
    TEXT_RAW8 = 1,   // 8-bit bytes as written, no encoded word
    TEXT_UTF8 = 2    // decoded from encoded words: UTF-8
};

// The whole text of a field (the field itself holds it cut to its
// capacity) and its state.
struct fieldtext {
    std::string full;
    int state = TEXT_PLAIN;
    std::string raw;  // the value as written (for the list server's mail)
};

struct currentmessage {
    int msgtype = MSGTYPE_MAIL;  // 0 mail, 1 news
    text128 areaname;            // SOUP area (newsgroup for news); "Email" for exported mail
    int unusablearea = 0;        // the SOUP area's name was no printable ASCII word: its messages are junk

    text128 msgfromname, msgfromemail;
    text128 msgtoname, msgtoemail;
    text128 msgreplyname, msgreplyemail;
    text128 sender;  // "Sender:"
    text128 xfrom;   // "X-From:"
    text128 msgsubj;
    text128 msgorganization;
    text128 msgid;    // address part of "Message-ID:", no angle brackets
    std::string messageid;  // the first "Message-ID:" value whole, for the import history
    text128 replyid;  // "In-Reply-To:", else the last "References:" entry
    msgtimes msgtime;
    text128 tzinfo;   // text after the time in "Date:"
    text21 msgdate;   // the FidoNet date field as read on export

    text64 routemailpwd;   // "X-MailPassword:" on import; the route's password on export
    text128 routemailsubj; // the route's subject (export only)

    text128 rfccharset;  // Internet character set (first "charset=")
    // First "Content-Type:" value, whole: a list posting passes it on, and
    // cut it would lose the end of its parameters (a multipart boundary).
    std::string mimetype;
    text128 mimecte;     // first "Content-Transfer-Encoding:" value
    text128 quotename, quoteemail;  // author of the quoted text found in the body

    // The whole texts behind the fields that may need converting.
    fieldtext fromnametext, tonametext, replynametext, subjtext, orgtext;
    // The character set the FidoNet text of the message is written in:
    // the FidoNet one (FidoCharSet/AreaCharSet) when `convertcharset` is
    // set, else the one it is only labelled with; empty: as it came.
    std::string outcharset;
    int convertcharset = 0;
    // The alternative chosen in each multipart/alternative, by boundary:
    // the parse pass decides, the later passes follow.
    std::vector<std::pair<std::string, int>> altchoices;

    std::vector<emailentry> emaillist;  // at most MAXEMAILLIST
    // The envelope a mail server wrote into a delivered mail: the first
    // "X-Original-To:" and the first few "Delivered-To:" addresses. Once
    // one of them names a FidoNet user (import/envelopeto.h), hasenvelope
    // is set and the mail is for that user alone.
    text128 origto;
    std::vector<std::string> deliveredto;  // at most MAXDELIVEREDTO
    int hasenvelope = 0;
    std::vector<std::string> xpost;     // other newsgroups; at most MAXXPOST

    text128 fidoareaname;  // FidoNet area; "NETMAIL" for netmail
    text128 fidocharset;   // CHRS kludge value
    fidoaddr fromaddr, destaddr;

    fidoaddr msgidaddr;
    std::uint32_t fidomsgid = 0;
    int validmsgid = 0;
    fidoaddr replyidaddr;
    std::uint32_t fidoreplyid = 0;  // read as a signed number, kept as its 32 bits
    int validreplyid = 0;

    text128 junkmailto;  // to-name before a message was diverted as junk

    int routing = 0;  // export: -1 unknown, 0 gateway, 1 route; import: sender matched a Route
    int routeno = -1;
    int routepwdfailed = 0;

    long parts = 1;      // parts of a split message
    long partno = 1;     // part being written, from 1
    long partbytes = 0;  // text bytes in the current part
    int isfattach = 0;   // files are attached
    text72 fname;        // names of the attached files, space-separated (subject of a file attach)
    int alreadyfromto = 0;  // the first body line already shows "From:" or "To:"
    int pastfirstline = 0;  // the first non-empty body line has been seen
    long messagesize = 0;   // byte count of a message cut from a counted format
    int selfmarks = 0;      // import: marks of the gateway's own output in the header (SELF_*)
    int headerended = 0;    // import: the message's own header has been read
};

extern currentmessage curmsg;

// The local time t as a message date.
msgtimes localmsgtime(std::time_t t);

// Empties the fields that the parse pass of import fills afresh for every
// message (areas and the addresses decided by classification stay). The date
// becomes the current local time (reads the clock), so that a message
// without "Date:" never carries the date of the message before it.
void resetmessage();
