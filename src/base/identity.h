// Program identity, used wherever the gateway names itself: the banner, the
// log's run header, the PID kludge, tear and Via lines, mail headers.
#pragma once

#define PROGNAME "PondLark"
#define PROGOS "Linux"
constexpr int VERMAJOR = 1;
constexpr int VERMINOR = 5;

// The gateway's entry in the Path of the articles it posts: news servers
// keep it when they pass an article on, and feed nothing back to a feed of
// that name; import knows its own articles by it.
inline constexpr char PATHENTRY[] = "pondlark";
