// The file-attach message that sends a queued file no converted message
// claimed: a one-message packet written to a temporary file, which the
// outbound source reads like any other packet.
#pragma once

#include <string>
#include <string_view>

#include "base/fidoaddr.h"
#include "base/fileio.h"

// Creates the packet at path (a new file) holding one private file-attach
// message from the first AddrMap system to dest: to-name toname, from-name
// the first AddrMap e-mail address, the listed name as subject (its base
// name when the listed name is too long for a subject), kludges INTL, FMPT
// and TOPT, a "To:" address line for toaddr when it is not empty, and a
// line naming the file. Reads tables.addrmap, cfg.packetpwd and the clock.
// Returns the packet open for reading and writing, positioned at its end,
// or an empty fileptr (reported, nothing left behind) when it could not be
// written.
fileptr createfattach(const fidoaddr& dest, std::string_view toname, const std::string& path,
                      std::string_view listedname, std::string_view toaddr);
