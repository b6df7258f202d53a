// Program identity, used wherever the gateway names itself: the banner, the
// log's run header, the PID kludge, tear and Via lines, mail headers.
#pragma once

#define PROGNAME "PondLark"
#define PROGOS "Linux"
constexpr int VERMAJOR = 1;
constexpr int VERMINOR = 5;
