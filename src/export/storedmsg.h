// The stored netmail message of ArcMail-style mailers: one message a file,
// a 190-byte header of fixed fields followed by the text (kludge lines
// first), which ends with a zero byte or the end of the file. The header
// is decoded and encoded field by field at these offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/fixedtext.h"

constexpr std::size_t MSGHDRSIZE = 190;
constexpr std::size_t MSGHDR_FROMNAME = 0;  // 36 bytes, zero-terminated
constexpr std::size_t MSGHDR_TONAME = 36;   // 36 bytes
constexpr std::size_t MSGHDR_SUBJECT = 72;  // 72 bytes
constexpr std::size_t MSGHDR_DATE = 144;    // 20 bytes
constexpr std::size_t MSGHDR_TIMESREAD = 164;
constexpr std::size_t MSGHDR_DESTNODE = 166;
constexpr std::size_t MSGHDR_ORIGNODE = 168;
constexpr std::size_t MSGHDR_COST = 170;
constexpr std::size_t MSGHDR_ORIGNET = 172;
constexpr std::size_t MSGHDR_DESTNET = 174;
constexpr std::size_t MSGHDR_REPLYTO = 184;
constexpr std::size_t MSGHDR_ATTR = 186;
constexpr std::size_t MSGHDR_NEXTREPLY = 188;

constexpr std::size_t MSGNAMESIZE = 36;
constexpr std::size_t MSGSUBJSIZE = 72;
constexpr std::size_t MSGDATESIZE = 20;

// Attribute bits the gateway reads or sets.
constexpr std::uint16_t MSGATTR_SENT = 0x0008;
constexpr std::uint16_t MSGATTR_FILE = 0x0010;
constexpr std::uint16_t MSGATTR_KILLSENT = 0x0080;
constexpr std::uint16_t MSGATTR_LOCAL = 0x0100;  // written on this system
constexpr std::uint16_t MSGATTR_HOLD = 0x0200;

// The header fields the gateway uses. A text field is taken up to its zero
// and never beyond its own width.
struct storedheader {
    text128 fromname, toname, subject;
    text21 date;
    std::uint16_t orignet = 0, orignode = 0;
    std::uint16_t destnet = 0, destnode = 0;
    std::uint16_t attr = 0;
};

// Unpacks the MSGHDRSIZE bytes at in.
storedheader decodestoredheader(const unsigned char* in);

// Stores attr into the attribute word of the raw header at out; every
// other byte stays as it was read.
void setstoredattr(unsigned char* out, std::uint16_t attr);
