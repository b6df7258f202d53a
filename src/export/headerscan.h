// The top of a FidoNet message as export reads it: the date field, the
// kludge lines (INTL, FMPT, TOPT, FLAGS, MSGID, REPLY, CHRS, CHARSET,
// CODEPAGE, TZUTC), the AREA line
// and the gateway's address lines (To:, Copy:, BCopy:, From:, XPost:).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/fidoaddr.h"
#include "base/fixedtext.h"
#include "export/exportmsg.h"
#include "export/pktinput.h"

// Longest line the header scan reads at once.
constexpr std::size_t HEADERLINEMAX = 256;

// Fills curmsg.msgtime from curmsg.msgdate ("14 Sep 99  20:16:10"); a year
// below 80 is 20xx, any other 1900 + year. A date that does not read as a
// valid day and time gives the current local time instead.
void parsemsgdate();

// Empties what the conversion fills for each message and takes the
// addressee: the to-name (routing 0; "UUCP" sets m.touucp) or the route's
// address (expstate.routeemail, else what curmsg.msgtoemail holds).
void startmessage(exportmsg& m);

// Reads the kludge (TZUTC too), AREA and (routing 0 only) address lines at
// the top of the text into curmsg and m, folding the AREA and address lines
// into m.serial, and leaves
// the input at the start of the first line that belongs to the body.
// Returns 0, or -1 when the input cannot be positioned.
[[nodiscard]] int scanheader(pktinput& in, exportmsg& m);

// The origin and serial of a MSGID or REPLY kludge (the text after the
// kludge name): a FidoNet origin goes into addr (numbers it does not give
// keep their values), an Internet-style one into idtext; the serial is
// hexadecimal, or the CRC-32 of its text when it is not. Returns true for a
// FidoNet origin.
bool parseidkludge(std::string_view rest, text128& idtext, fidoaddr& addr, std::uint32_t& serial);

// The CHRS kludge value (the text after "CHRS:") as the CharSetMap names it:
// leading spaces skipped, a level after the last space joined with "#".
std::string chrsvalue(std::string_view rest);
