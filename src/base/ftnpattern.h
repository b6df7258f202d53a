// Patterns of FidoNet addresses, as the sysop writes them for TrustFrom,
// ExportAllow and ExportLimit: "2:280/5555" (that node, point 0),
// "2:280/5555.1", "2:280/5555.*" (the node and its points), "2:280/*"
// (a net), "2:*" (a zone) and "*" (everyone). Any of zone, net, node and
// point may be "*" on its own too ("*:280/5555").
#pragma once

#include <string>
#include <string_view>

#include "base/fidoaddr.h"

struct ftnpattern {
    // Each part, or -1 for "*".
    long zone = -1, net = -1, node = -1, point = -1;

    bool matches(const fidoaddr& a) const {
        return (zone < 0 || zone == a.zone) && (net < 0 || net == a.net) &&
               (node < 0 || node == a.node) && (point < 0 || point == a.point);
    }
};

// Reads a pattern (the whole text). Returns true and fills p when text is
// one, false otherwise (p is then left alone).
bool parseftnpattern(std::string_view text, ftnpattern& p);

// The pattern as it is written in full ("2:280/*.*", "*:*/*.*").
std::string ftnpatterntext(const ftnpattern& p);
