// Rewriting a file that another program reads (a flow file, a packet the
// mailer queued) so that a reader finds either its old content or its new
// content, never a part: the new content goes into a temporary file beside
// it, which is renamed over the file once it is complete and closed.
#pragma once

#include <string>

#include "base/fileio.h"

struct replacement {
    std::string path;  // the file to replace
    std::string tmp;   // the temporary file beside it
    fileptr f;         // open for writing the new content
};

// Creates the temporary file for path (path + ".tmp", or a free variant of
// it). Returns 0, or -1 when it cannot be created (nothing changed).
[[nodiscard]] int beginreplace(const std::string& path, replacement& r);

// Closes the temporary file and renames it over the file, at once or,
// while a unit of work is open (durable/journal.h), when it commits.
// Returns 0, or -1 when a write, the close or the rename failed: the
// temporary file is then removed and the file keeps its old content.
[[nodiscard]] int commitreplace(replacement& r);

// Drops the temporary file; the file keeps its old content.
void abortreplace(replacement& r);
