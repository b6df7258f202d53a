// The "NewsServer" line: an NNTP server the gateway takes groups from and
// posts their replies to, with no news server of the sysop's own.
//
//   NewsServer <name> nntp://host[:port] [starttls] [options]
//   NewsServer <name> nntps://user@host[:port] secret=/etc/pondlark/news.secret
//
// nntp:// is port 119, nntps:// (TLS from the first byte) port 563.
// Options: "starttls" (nntp:// only: the session turns to TLS before
// anything else is said, or nothing is), "secret=<file>" (the password of
// the URL's user, the file's first line; not used unless only its owner
// can read it), "cafile=<file>" (certificates that vouch for the server,
// instead of the system's), "insecure" (no certificate check, and a login
// allowed over a connection without TLS), "ihave" (post by IHAVE, to a
// peer that feeds the gateway, instead of POST), "timeout=<seconds>" (how
// long a reply may keep the gateway waiting; 60). The name is what AreaMap
// lines give as server=<name>.
#pragma once

#include <string>
#include <string_view>

#include "config/settings.h"

// Reads the value of a NewsServer line into s. Returns 0, or -1 with
// problem set to a configuration warning text.
[[nodiscard]] int parsenewsserver(std::string_view value, newsserverdef& s, std::string& problem);

// What check says of a parsed server beyond its syntax: a secret file
// missing or readable by others, a secret without a user, "starttls" with
// nntps://, a password in the URL of a configuration file others can read
// (configpath), an unreadable cafile. "" when nothing is wrong.
std::string newsserverproblem(const newsserverdef& s, const std::string& configpath);

// The password of s: from its secret file (mode 0600 or stricter) or its
// URL. Returns 0, or -1 with problem set.
[[nodiscard]] int newsserverpassword(const newsserverdef& s, std::string& password, std::string& problem);

// The server of that name in cfg.newsservers (names ignore case), or null.
const newsserverdef* findnewsserver(std::string_view name);

// The server an AreaMap line ties a newsgroup to, read from the AreaMap
// table: the first entry naming the group (ignoring case) with a server
// that exists, or null. With importing, entries for export only are
// passed over; without, those for import only.
const newsserverdef* serverofgroup(std::string_view group, bool importing);

// Whether a text may stand in the gateway's state files and log lines as
// a server or group name: printable ASCII without spaces, at most 127.
bool plainname(std::string_view s);
