// The FidoNet packet as the gateway writes it on import and reads it on
// export: a type 2 packet header that also carries the type 2+ block
// (zones and points, capability word and its byte-swapped copy), packed
// messages one after the other, and a two-byte terminator. Every number
// is a little-endian word; the writer and the reader both go through the
// offsets and the encode/decode functions here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The packet header.
constexpr std::size_t PKTHDRSIZE = 58;
constexpr std::size_t PKTHDR_ORIGNODE = 0;
constexpr std::size_t PKTHDR_DESTNODE = 2;
constexpr std::size_t PKTHDR_YEAR = 4;   // four digits
constexpr std::size_t PKTHDR_MONTH = 6;  // 0..11
constexpr std::size_t PKTHDR_DAY = 8;    // 1..31
constexpr std::size_t PKTHDR_HOUR = 10;
constexpr std::size_t PKTHDR_MINUTE = 12;
constexpr std::size_t PKTHDR_SECOND = 14;
constexpr std::size_t PKTHDR_BAUD = 16;
constexpr std::size_t PKTHDR_PKTTYPE = 18;
constexpr std::size_t PKTHDR_ORIGNET = 20;
constexpr std::size_t PKTHDR_DESTNET = 22;
constexpr std::size_t PKTHDR_PRODCODELO = 24;    // byte
constexpr std::size_t PKTHDR_PRODREVMAJOR = 25;  // byte
constexpr std::size_t PKTHDR_PASSWORD = 26;      // 8 bytes, zero-filled, not always terminated
constexpr std::size_t PKTHDR_QORIGZONE = 34;     // zone copy for older readers
constexpr std::size_t PKTHDR_QDESTZONE = 36;
constexpr std::size_t PKTHDR_AUXNET = 38;
constexpr std::size_t PKTHDR_CAPVALID = 40;      // capability word, byte-swapped
constexpr std::size_t PKTHDR_PRODCODEHI = 42;    // byte
constexpr std::size_t PKTHDR_PRODREVMINOR = 43;  // byte
constexpr std::size_t PKTHDR_CAPWORD = 44;
constexpr std::size_t PKTHDR_ORIGZONE = 46;
constexpr std::size_t PKTHDR_DESTZONE = 48;
constexpr std::size_t PKTHDR_ORIGPOINT = 50;
constexpr std::size_t PKTHDR_DESTPOINT = 52;
constexpr std::size_t PKTHDR_PRODDATA = 54;  // 32 bits

constexpr std::size_t PKTPWDSIZE = 8;
constexpr std::uint16_t PKTTYPE2 = 2;
constexpr std::uint16_t CAPWORD2PLUS = 0x0001;   // bytes 0x01, 0x00
constexpr std::uint16_t CAPVALID2PLUS = 0x0100;  // the same word byte-swapped: bytes 0x00, 0x01

// The packed message header in front of every message.
constexpr std::size_t PKTMSGHDRSIZE = 14;
constexpr std::size_t PKTMSG_TYPE = 0;
constexpr std::size_t PKTMSG_ORIGNODE = 2;
constexpr std::size_t PKTMSG_DESTNODE = 4;
constexpr std::size_t PKTMSG_ORIGNET = 6;
constexpr std::size_t PKTMSG_DESTNET = 8;
constexpr std::size_t PKTMSG_ATTR = 10;
constexpr std::size_t PKTMSG_COST = 12;

constexpr std::uint16_t PKTMSGTYPE2 = 2;
constexpr std::uint16_t MSGATTR_PRIVATE = 0x0001;
constexpr std::uint16_t MSGATTR_FILEATTACHED = 0x0010;

// The zero-terminated fields after it: the date is always 19 characters,
// the names and the subject at most as many as given here.
constexpr std::size_t PKTDATELEN = 19;
constexpr std::size_t PKTNAMEMAX = 35;
constexpr std::size_t PKTSUBJMAX = 71;

// A message type word of 0 ends the packet.
constexpr std::size_t PKTTERMSIZE = 2;

// The packet header field by field, as it stands in the file.
struct pktheader {
    std::uint16_t orignode = 0, destnode = 0;
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::uint16_t baud = 0;
    std::uint16_t pkttype = PKTTYPE2;
    std::uint16_t orignet = 0, destnet = 0;
    std::uint8_t prodcodelo = 0, prodrevmajor = 0;
    std::array<char, PKTPWDSIZE> password{};
    std::uint16_t qorigzone = 0, qdestzone = 0;
    std::uint16_t auxnet = 0;
    std::uint16_t capvalid = 0;
    std::uint8_t prodcodehi = 0, prodrevminor = 0;
    std::uint16_t capword = 0;
    std::uint16_t origzone = 0, destzone = 0;
    std::uint16_t origpoint = 0, destpoint = 0;
    std::uint32_t proddata = 0;
};

// The packed message header field by field.
struct pktmsgheader {
    std::uint16_t msgtype = PKTMSGTYPE2;
    std::uint16_t orignode = 0, destnode = 0;
    std::uint16_t orignet = 0, destnet = 0;
    std::uint16_t attr = 0;
    std::uint16_t cost = 0;
};

// Packs h into the PKTHDRSIZE bytes at out.
void encodepktheader(const pktheader& h, unsigned char* out);

// Unpacks the PKTHDRSIZE bytes at in.
pktheader decodepktheader(const unsigned char* in);

// True when the header announces the type 2+ block: the capability word
// has the 2+ bit and its validation copy is the same word byte-swapped.
bool istype2plus(const pktheader& h);

// Packs m into the PKTMSGHDRSIZE bytes at out.
void encodepktmsgheader(const pktmsgheader& m, unsigned char* out);

// Unpacks the PKTMSGHDRSIZE bytes at in.
pktmsgheader decodepktmsgheader(const unsigned char* in);
