// What the export converter notes about the message it is converting,
// beside the current message itself. Shared by the steps of the
// conversion: header scan, addressing, header, body and attachments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/msgserial.h"

struct exportmsg {
    bool touucp = false;         // to-name "UUCP" while routing 0: the text gives the recipients
    bool deleteafter = false;    // FLAGS KFS: delete attached files after sending
    bool truncateafter = false;  // FLAGS TFS: truncate attached files after sending
    bool hasmsgid = false;       // a MSGID kludge was read
    bool msgidftn = false;       // ... and its origin is a FidoNet address
    int listno = -1;             // the list-server list whose area this is, or -1
    bool gated = false;          // echomail of a MailingList area
    bool dropped = false;        // not to be exported
    bool needsencoding = false;  // the text has control or 8-bit characters
    bool empty = true;           // the text has no line worth sending
    bool tolimit = false;        // To/Copy/BCopy lines beyond ExportMaxTo
    bool xpostlimit = false;     // XPost lines beyond ExportMaxXPost
    bool convert = false;        // FidoCharSet/AreaCharSet: the text is converted ...
    std::string sourcecharset;   // ... from this charset (ICU's name) into InternetCharSet
    std::string charsetkludge;   // the CHARSET kludge's value
    std::string codepagekludge;  // the CODEPAGE kludge's value
    serialhash serial;           // what identifies a message without MSGID
    bool hastzutc = false;       // a TZUTC kludge gave the zone of the date
    long tzutc = 0;              // ... seconds east of UTC
    bool statefulsource = false; // the text's charset can hide line ends (UTF-7, ISO-2022, ...)
    std::string claimedfrom;     // the address a "From:" line of the text names
    std::string unvouchedfrom;   // ... when the gateway cannot vouch for it: the Reply-To
    bool addresseerefused = false;  // the to-name is no Internet address: the To line
                                    // holds the address lines' recipients alone
    std::vector<std::string> refused;    // recipients that are no single mailbox
    std::vector<std::string> overlimit;  // recipients beyond ExportMaxTo
};
