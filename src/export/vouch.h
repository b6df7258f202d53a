// What recovery may do outside the folders of the configuration: a file a
// flow file of the outbound, or a stored netmail message written on this
// system, asked to have deleted or emptied once sent. A run trusts those
// listings; recovery, which reads a journal from a folder others may
// write, trusts the journal's word for such a file only while the listing
// is still there (durable/journal.h).
#pragma once

#include <string>
#include <vector>

// Whether one of named (paths in scope that the journal's unit names)
// lists path for the action: X removal, Z emptying, M setting aside.
// - a flow file (*.FLO, *.CLO, *.DLO, *.HLO, *.ILO): a line not yet marked
//   sent that is "^path" (X), "#path" (Z), or names path with any prefix
//   when path is a packet (*.PKT, which a run exports and removes, or sets
//   aside when damaged);
// - a stored message (*.MSG) with the Local attribute: a subject word that
//   is "^path" or "#path", path with its FLAGS kludge asking for it (KFS
//   for X, TFS for Z), or path when it is a packet.
// Reads the files through the scope (durable/pathscope.h), never through a
// link.
bool listedforaction(const std::string& path, char action, const std::vector<std::string>& named);
