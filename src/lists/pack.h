// The pack command: compacts every mailing-list member file.
//
// Each list file is rewritten without its deleted records ("*" markers) and
// without lines that belong to no record; live markers become a plain "+",
// and a last record cut short is completed. The new content is written to
// a temporary file beside the list file, which then replaces the list file
// in one rename; on any failure the list file stays as it was.
#pragma once

#include <string>

#include "lists/listfiles.h"

// Packs every list of lists.listconfig in turn (under /test their *.~LC
// duplicates), logging what it does; with run.verbose also every removed
// line. Returns the command's exit status, 0.
int packlists();

// Packs one list, numbered from 1 in the log. Returns 0 when the list file
// was replaced, -1 when it was left as it was (the reason is logged).
int packlist(const listrecord& list, int number);

// Moves the packed temporary file over the list file in one step. On
// failure removes the temporary file, logs it and returns -1; the list file
// is left as it was.
int replacelistfile(const std::string& tmppath, const std::string& listpath);
