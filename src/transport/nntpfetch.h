// Taking news in from NNTP servers: for each group an AreaMap line ties
// to a NewsServer (server=<name>; not those for export only), the
// articles after the group's high-water mark (see newsmarks.h) are fetched
// by number (GROUP, then ARTICLE, pipelined) over one connection per
// server, and staged into SOUP message files exactly like an rnews batch
// (area: the group, encoding "un"), through the staging step of
// stagingplan.h, whose plan carries the group's new mark: the mark moves
// on with the articles, never before them.
//
// The first fetch of a group takes at most NewsBacklog articles, the
// newest. A group whose numbers went back below the mark (the server
// renumbered or reset it) is logged and taken again from the start, as
// far as NewsBacklog reaches; the Message-ID history keeps what came
// before from coming in twice. Articles that expired before they were
// fetched are logged. An article larger than 32 MiB is logged and passed
// over.
#pragma once

// Fetches and stages what is new in every group of every NewsServer.
// Reads cfg.newsservers, cfg.newsbacklog, the AreaMap table and the clock;
// writes SOUP message files, AREAS and the marks file in cfg.soupdir.
// Reports through logprintf. Returns 0, or -1 when a server or group
// could not be fetched (what was staged before stays; the rest waits for
// the next run).
int fetchnews();
