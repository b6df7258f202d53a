// An independent structural check of FidoNet packets, written from the
// published packet standards (FTS-0001 type 2 packets and packed messages;
// FSC-0039 / FSC-0048 type 2+ capability word, its byte-swapped copy, and
// the zone and point fields; FTS-4000 control lines), not from the
// gateway's writer: it shares no code or constants with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct checkedmessage {
    std::uint16_t orignode = 0, destnode = 0, orignet = 0, destnet = 0;
    std::uint16_t attribute = 0, cost = 0;
    std::string datetime, toname, fromname, subject;
    std::string text;        // without its terminating zero
    std::size_t offset = 0;  // of the message type word in the file
};

struct checkedpacket {
    std::string error;  // empty when the packet is sound; else the first problem found
    std::uint16_t origzone = 0, orignet = 0, orignode = 0, origpoint = 0;
    std::uint16_t destzone = 0, destnet = 0, destnode = 0, destpoint = 0;
    std::string password;  // up to 8 characters
    std::vector<checkedmessage> messages;
};

// Checks the whole file content of a packet.
checkedpacket checkpacket(const std::string& bytes);
