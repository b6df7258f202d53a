// Taking mail and news in from the servers a system already runs: the
// unseen messages of each ImportMaildir, the batches in each
// ImportNewsBatches folder and the new articles of the NewsServer groups
// become SOUP message files in the SOUP directory with their AREAS lines,
// which import then reads like any SOUP packet.
//
// Each staging step is one transaction, so that a run killed at any
// instant neither loses nor doubles a message:
//   1. the SOUP message files are written under temporary names;
//   2. the plan ("pondlark.stg" in the SOUP directory: the files and what
//      becomes of each input) is written and synced;
//   3. the files are synced and renamed into place;
//   4. AREAS is replaced, with the new lines, in one rename: the commit;
//   5. the inputs are marked seen, removed or set aside, and their folders
//      synced;
//   6. the plan is removed.
// A plan found at the start of a run is finished (its AREAS lines are
// there) or undone (they are not: its files go, the inputs stay).
#pragma once

#include <string>

// Finishes or undoes a plan a killed run left, then stages every source
// of cfg.importmaildir and cfg.importnewsbatches, and what is new on the
// news servers of cfg.newsservers (nntpfetch.h), into cfg.soupdir. Reads
// the AreaMap table (a crossposted article goes into each group gated in).
// Under /test nothing is taken in and no plan is touched. Reports through
// logprintf. Returns 0, or -1 when something was left for the next run.
int stageinbound();
