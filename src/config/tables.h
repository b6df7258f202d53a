// The gateway tables built from the configuration, line by line. Entries
// keep the order of the lines that made them and are never removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/fidoaddr.h"
#include "base/fixedtext.h"
#include "base/ftnpattern.h"
#include "config/fidocharset.h"

// Most entries each table takes.
constexpr std::size_t MAXADDRMAP = 1024;
constexpr std::size_t MAXAREAMAP = 2048;
constexpr std::size_t MAXROUTE = 1024;
constexpr std::size_t MAXALIAS = 1024;
constexpr std::size_t MAXMAILLIST = 1024;
constexpr std::size_t MAXCHARSETMAP = 256;
constexpr std::size_t MAXFIDODOMAIN = 256;
constexpr std::size_t MAXQUOTECHAR = 256;
constexpr std::size_t MAXQUOTEMASK = 256;
constexpr std::size_t MAXJUNKFROM = 4096;
constexpr std::size_t MAXJUNKSUBJ = 2048;
constexpr std::size_t MAXJUNKSTR = 2048;
constexpr std::size_t MAXJUNKGROUP = 512;
constexpr std::size_t MAXIGNORETEXT = 512;
constexpr std::size_t MAXKEEPHEADER = 256;
constexpr std::size_t MAXTRUSTFROM = 1024;
constexpr std::size_t MAXEXPORTALLOW = 1024;
constexpr std::size_t MAXEXPORTLIMIT = 1024;

enum directions { DIR_BOTH = 0, DIR_IMPORT = 1, DIR_EXPORT = 2 };
enum junkcategories { JUNKCAT_EMAIL = 0, JUNKCAT_NEWS = 1, JUNKCAT_ALL = 2, JUNKCAT_NONE = 3 };

// AddrMap / Personal: a FidoNet user and their Internet address.
struct addrmapentry {
    fidoaddr ftnaddr;
    text128 email;
    text128 replyemail;  // empty when not given
    text128 name;        // empty when not given
};

// AreaMap: a FidoNet area and its newsgroup.
struct areamapentry {
    text128 fidoarea;  // upper case
    text128 newsgroup;
    int direction = DIR_BOTH;
    text64 server;     // server=<name>: the NewsServer of the group; empty when none
    long cfgline = 0;  // where the line stands, for check's warnings
    std::string cfgfile;
};

// Route: a FidoNet node that gets its Internet mail through the gateway.
struct routeentry {
    fidoaddr ftnaddr;
    text128 email;
    text64 password;  // empty when not given
    text128 subject;  // empty when not given
};

// Alias: a short recipient name for a full address.
struct aliasentry {
    text128 name;
    text128 email;
};

// MailingList: a mailing list carried in a FidoNet area.
struct maillistentry {
    text128 area;  // case as written
    text128 listaddr;
    text128 senderaddr;  // empty when not given
    text128 match;
    text128 truncate;   // empty when not given
    text128 subjstrip;  // empty when not given
};

// CharSetMap: FidoNet character-set identifier and Internet name.
struct charsetentry {
    std::string fidoname;  // "#" stands for the identifier's space
    std::string rfcname;
    int direction = DIR_BOTH;
};

// FidoDomain: the Internet domain used for a range of FidoNet zones.
struct domainentry {
    std::uint16_t zonefrom = 0;
    std::uint16_t zoneto = 0;
    std::string domain;  // "@...": a full address; "#...": FTN-form domain
};

// QuoteChar: where a quote character may stand and how many initials precede it.
struct quotecharentry {
    char quote = '>';
    std::uint8_t poslo = 0, poshi = 0;
    std::uint8_t letterslo = 0, lettershi = 0;
};

// JunkFrom, JunkSubj, JunkStr, JunkGroup: a text and the category it applies to.
struct junkrule {
    int category = JUNKCAT_ALL;
    std::string text;
};

// ExportAllow: FidoNet nodes that may send through the gateway, and what.
struct exportallowentry {
    ftnpattern nodes;
    bool mail = true;  // netmail to Internet addresses
    bool news = true;  // echomail to newsgroups and mailing lists
};

// ExportLimit: how many messages a day each node of a pattern may send.
struct exportlimitentry {
    ftnpattern nodes;
    std::uint32_t perday = 0;
};

struct gatetables {
    std::vector<addrmapentry> addrmap;
    std::vector<areamapentry> areamap;
    std::vector<routeentry> route;
    std::vector<aliasentry> alias;
    std::vector<maillistentry> maillist;
    std::vector<charsetentry> charsetmap;
    std::vector<domainentry> fidodomain;
    std::vector<quotecharentry> quotechar;
    std::vector<std::string> quotemask;
    std::vector<junkrule> junkfrom;
    std::vector<junkrule> junksubj;
    std::vector<junkrule> junkstr;
    std::vector<junkrule> junkgroup;
    std::vector<std::string> ignoretext;
    std::vector<fidocharsetdef> areacharset;  // AreaCharSet
    std::vector<std::string> keepheader;      // KeepHeader: field names, a trailing "*" a prefix
    std::vector<ftnpattern> trustfrom;        // TrustFrom: whose "From:" lines are taken
    std::vector<exportallowentry> exportallow;  // ExportAllow; none: everyone, everything
    std::vector<exportlimitentry> exportlimit;  // ExportLimit; the first that matches counts

    // Reading state: the JunkCategory that the following junk rules take.
    int junkcategory = JUNKCAT_ALL;
};

extern gatetables tables;
