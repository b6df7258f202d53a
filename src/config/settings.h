// Single-value settings of the configuration. Filled once while the
// configuration is read; read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/fidoaddr.h"
#include "base/fixedtext.h"
#include "config/fidocharset.h"

enum mailertypes { MAILER_NONE = 0, MAILER_ARCMAIL = 1, MAILER_BINKLEY = 2 };
enum actions { ACTION_IGNORE = 0, ACTION_KILL = 1, ACTION_MOVE = 2, ACTION_JUNK = 3 };
enum attachmodes { ATTACH_IGNORE = 0, ATTACH_DECODE = 1, ATTACH_KILL = 2 };
enum encodeformats { ENCODE_MIME = 0, ENCODE_UU = 1 };
enum msgcategories { CAT_EMAIL = 0, CAT_NEWS = 1, CAT_LIST = 2 };

// An "ImportMaildir" line: a Maildir whose unseen messages import takes in.
struct maildirsource {
    std::string dir;  // ends in "/"
    int remove = 0;   // "Delete": messages are removed once staged, not marked seen
};

// A "NewsServer" line: an NNTP server the gateway fetches groups from and
// posts them to (the groups are tied to it by AreaMap ... server=<name>).
struct newsserverdef {
    std::string name;        // as AreaMap's server= names it
    bool tls = false;        // nntps://: TLS from the first byte
    bool starttls = false;   // "starttls": the session must turn to TLS first
    bool insecure = false;   // "insecure": no certificate check, login allowed in clear
    bool ihave = false;      // "ihave": post by IHAVE (a peer that feeds us)
    std::string host;        // as the URL names it ("[::1]" for IPv6)
    int port = 119;
    std::string user;        // decoded; empty: no AUTHINFO
    std::string password;    // decoded, from the URL
    std::string secretfile;  // "secret="
    std::string cafile;      // "cafile="
    int timeout = 60;        // "timeout=": seconds a reply may keep us waiting
};

struct settings {
    // Addresses and identity
    fidoaddr gateaddr;      // FidoAddr
    text9 packetpwd;        // PacketPwd, upper case
    text64 origin;          // Origin
    text128 organization;   // Organization
    text64 nospamtext;      // NoSpamText
    text32 timezonestr;     // TimeZone, else TZ
    std::uint16_t basezone = 0;  // BaseZone

    // Mailer and directories (every directory ends in "/" once set)
    int mailertype = MAILER_NONE;  // MailerType
    pathtext indir;                // InboundDir
    pathtext outdir;               // OutboundDir
    pathtext netdir;               // NetmailDir
    pathtext soupdir;              // SoupDir
    pathtext decodedir;            // DecodeDir
    int decodedirall = 0;          // DecodeDir ... ALL
    pathtext tempdir;              // TempDir, else TEMP
    pathtext logfile;              // LogFile (resolved)

    // Import
    text128 emailarea = "NETMAIL";   // EmailArea
    std::uint32_t importlimit = 0;   // ImportLimit, bytes (0: no limit)
    std::uint32_t maxpktsize = 0;    // MaxPKTSize, KiB (0: no limit)
    std::uint16_t importmaxfiles = 100;   // ImportMaxFiles: encoded files decoded (or killed) per message
    std::uint16_t importmaxparts = 1000;  // ImportMaxParts: MIME parts read per message
    int infoheader = 0;              // HeaderInfo: 0 names, 1 addresses in the header
    int infoinsert = 2;              // HeaderInfo: 0 insert names, 1 insert addresses, 2 nothing
    int stripkludges[3] = {0, 0, 0}; // StripKludges per category: 0 No, 1 Yes, 2 Some
    int strictfidomsgid = 0;         // StrictFidoMsgID
    int killorigin = 0;              // KillOrigin: 0 No, 1 Yes, 2 Email
    int transfidoorg = 0;            // TransFidoOrg
    int quoteto = 0;                 // QuoteTo
    int ownorgaction = ACTION_IGNORE;  // OwnOrgAction
    text128 ownorgarea = "ARCHIVES";   // OwnOrgArea
    int junkaction = ACTION_IGNORE;    // JunkAction
    text128 junkarea = "JUNKMAIL";     // JunkArea
    int junkfromto = 0;                // JunkFromTo
    int attach[2] = {ATTACH_DECODE, ATTACH_IGNORE};  // AttachMail, AttachNews
    fidocharsetdef fidocharset;        // FidoCharSet; not set: text is only labelled

    // Export
    std::uint16_t souplinewidth = 72;  // LineWidth
    int useqp = 1;                     // UseQP
    text128 defcharset = "us-ascii";   // DefCharSet
    text128 internetcharset = "utf-8"; // InternetCharSet: converted text goes out in it
    int encodeformat = ENCODE_MIME;    // EncodeFormat
    std::uint16_t exportmaxto = 1024;     // ExportMaxTo
    std::uint16_t exportmaxxpost = 1024;  // ExportMaxXPost
    int mapfidoorg = 0;                // MapFidoOrg
    int separatemsg = 0;               // SeparateMSG
    int quickscan = 0;                 // QuickScan
    int exportallmail = 0;             // ExportAllMail
    std::uint32_t busyflagage = 60;    // BusyFlagAge, minutes: an older busy flag is stale (0: never)
    text128 bounceaddress;             // BounceAddress: the SMTP envelope sender (set at start-up
                                       // to the gateway's own address when not configured)

    // All commands
    int syncwrites = 0;  // SyncWrites: outputs on the disk (fsync) before their inputs go

    // Servers the gateway talks to
    std::vector<maildirsource> importmaildir;     // ImportMaildir lines
    std::vector<std::string> importnewsbatches;   // ImportNewsBatches folders, ending in "/"
    std::string sendmail;                         // SendMail, as written (empty: not set)
    std::string postnews;                         // PostNews command line (empty: not set)
    int historydays = 30;                         // HistoryDays (0: no history)
    int giveupdays = 5;    // GiveUpDays: a reply put off this long is refused for good
    int warnhours = 24;    // WarnHours: status warns about what waits longer
    std::vector<newsserverdef> newsservers;       // NewsServer lines
    std::uint32_t newsbacklog = 100;              // NewsBacklog: articles a group's first fetch takes
};

extern settings cfg;
