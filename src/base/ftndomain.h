// The Internet domain under which FidoNet addresses and message serials
// appear on the Internet side. Import recognises it and export builds
// addresses and Message-IDs with it, so both directions share this one text.
#pragma once

inline constexpr char DEFAULTFTNDOMAIN[] = "fidonet.org";
