// The junk folder: "junk/" in SoupDir, where import keeps what it does not
// turn into FidoNet mail but the sysop may want to read (the gateway's own
// output come back, see import/ownoutput.h), one message a file, as it came.
#pragma once

#include <cstdio>
#include <string>

#include "import/rangereader.h"

// Copies the bytes of r in f into a new file "junk/NNNNNNNN.eml" in
// SoupDir (the folder is made when missing), as an output of the open
// unit: it gets its name with the rest of its message file's output, and
// goes with it when that is taken back. name becomes the file's path.
// Returns 0, or -1 when it could not be written (reported).
[[nodiscard]] int keepinjunk(std::FILE* f, const msgrange& r, std::string& name);
