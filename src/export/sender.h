// Who an exported message is from and to: the origin address after the
// MSGID kludge, the serial of its Message-ID, aliases among the
// recipients, and the sender's Internet address from AddrMap, MapFidoOrg
// and FidoDomain.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/fidoaddr.h"
#include "export/exportmsg.h"

// Corrects curmsg.fromaddr from a FidoNet MSGID origin (its whole address
// when it has a zone, else only a missing point of the same net and node),
// and gives a message without a MSGID serial the one messageserial() makes
// of m.serial.
void fixorigin(const exportmsg& m);

// Replaces the addressee and every recipient that equals an Alias name
// (ignoring case) by the alias's address; the addressee only when the
// message is not addressed to UUCP.
void applyaliases(const exportmsg& m);

// The longest local part RFC 5321 allows.
constexpr std::size_t LOCALPARTMAX = 64;

// A local part as RFC 5322 allows it in a dot-atom: the characters of
// atext, blanks (and runs of dots) as one dot, none at either end.
std::string dotatom(std::string_view name);

// The address made from a FidoNet name (UTF-8) and address under
// MapFidoOrg: the zone's FidoDomain text when it holds "@"; else the name
// in ASCII (mime/asciiname.h) as a dot-atom ("unknown" when nothing is
// left of it), "@" and the p.f.n.z form under a "#" domain, or the plain
// domain. At most 127 characters, the local part at most 64: a long name
// is cut, never the host.
std::string mappedsender(std::string_view name, const fidoaddr& addr);

// Fills curmsg.msgfromemail (unless a From: line or a MailingList already
// did), msgreplyemail and msgreplyname from AddrMap or MapFidoOrg; a name
// in the message's charset (m) is read into UTF-8 first.
void choosesender(const exportmsg& m);
