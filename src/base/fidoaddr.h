// A FidoNet (FTN) address: zone:net/node.point, four unsigned 16-bit numbers.
#pragma once

#include <cstdint>

struct fidoaddr {
    std::uint16_t zone = 0;
    std::uint16_t net = 0;
    std::uint16_t node = 0;
    std::uint16_t point = 0;

    bool operator==(const fidoaddr&) const = default;
};
