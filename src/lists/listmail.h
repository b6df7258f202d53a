// Header lines of the mail the list server sends: template replies and
// redistributed postings. Each helper appends finished lines to a text that
// is written into the reply file in one piece.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "import/curmsg.h"

// Appends value to out with every carriage return and line feed turned into
// a space: a value that carried a line break would otherwise start a header
// line of its own in the reply.
void appendvalue(std::string& out, std::string_view value);

// Appends "<field>: <value>" and a line feed.
void appendheaderline(std::string& out, std::string_view field, std::string_view value);

// Appends address and " (<comment>)" when the comment is not empty, both
// as appendvalue does (also used for log lines).
void appendaddress(std::string& out, std::string_view address, std::string_view comment);

// Appends "<field>: <address>" and " (<comment>)" when the comment is not
// empty, then a line feed. A comment that is not ASCII becomes the display
// name instead, in encoded words of charset (empty: as its bytes look):
// "<field>: =?UTF-8?B?...?= <address>".
void appendaddressline(std::string& out, std::string_view field, std::string_view address,
                       std::string_view comment, std::string_view charset = {});

// Appends "<field>: <value>" and a line feed; a value that is not ASCII in
// encoded words of charset (empty: as its bytes look).
void appendtextline(std::string& out, std::string_view field, std::string_view value,
                    std::string_view charset = {});

// The charset the current message's text fields are in after import read
// them (curmsg.outcharset; empty when not known).
std::string_view listcharset();

// Appends "Date: Tue, 14 Sep 1999 20:16:10 +0200" for t (month 0..11)
// and an offset in seconds east of UTC, then a line feed.
void appenddateline(std::string& out, const msgtimes& t, long offset);


// Appends "X-MailServer: " and the program's name, platform and version.
void appendmailserverline(std::string& out);

// A number that differs between any two Message-IDs the list server makes:
// the CRC-32 of address and of subject, the time in seconds and
// lists.msgidcounter (advanced first by a fixed odd step) combined by
// exclusive-or. Writes lists.msgidcounter.
std::uint32_t uniqueidnumber(std::string_view address, std::string_view subject, std::time_t now);

// The Message-ID of a redistributed posting: the posting's own id (msgid,
// without angle brackets) with its "@" made a dot, "-" and the list
// address: "<1234.mail.example.com-pond@lists.example>", one "@" as a
// Message-ID must have. A posting without an id gets a number that
// uniqueidnumber() makes of the sender, subject and clock instead.
std::string postingmessageid(std::string_view msgid, std::string_view listaddress);
