// The "SendMail" line: how export hands mail to the Internet.
//
//   SendMail smtp://localhost                    the local MTA, port 25
//   SendMail smtp://user@mail.example.net:587 starttls secret=/etc/pondlark/smtp.secret
//   SendMail smtps://user@mail.example.net secret=/etc/pondlark/smtp.secret
//   SendMail /usr/sbin/sendmail -oi -t           one run of a program per message
//
// A URL may end in "/<name>": the name the gateway gives itself in EHLO.
// Options after the URL: "starttls" (smtp:// only: the session must turn
// to TLS before anything is sent, or nothing is), "secret=<file>" (the
// password for the URL's user, the file's first line; the file must not be
// readable by group or others, or it is not used), "cafile=<file>" (the
// certificates that vouch for the server, instead of the system's),
// "insecure" (smtp:// only: a user may log in without TLS). A password may
// also stand in the URL (user:password@), but the configuration is usually
// readable by all, which check warns about.
//
// A URL with a user logs in only over TLS: smtps://, or smtp:// with
// "starttls". Without either, PondLark does not log in at all (nothing is
// sent, the log says why) unless the line says "insecure": a password
// must never cross the network in clear by accident.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum sendkinds { SEND_NONE = 0, SEND_SMTP = 1, SEND_COMMAND = 2 };

struct sendtarget {
    int kind = SEND_NONE;
    // SMTP
    bool tls = false;       // smtps://: TLS from the first byte
    bool starttls = false;  // "starttls"
    bool insecure = false;  // "insecure": a login without TLS is wanted
    std::string host;       // as the URL names it ("[::1]" for IPv6)
    int port = 25;
    std::string helo;        // the EHLO name; empty: libcurl's own choice
    std::string user;        // decoded; empty: no AUTH
    std::string password;    // decoded, from the URL
    std::string secretfile;  // "secret="
    std::string cafile;      // "cafile="
    std::string url;         // scheme://host:port[/helo] as libcurl gets it
    // command
    std::vector<std::string> argv;
};

// Reads a SendMail value into target. Returns 0, or -1 with problem set to a
// configuration warning text ("invalid SendMail URL", "unknown SendMail
// option", or a command problem).
[[nodiscard]] int parsesendtarget(std::string_view value, sendtarget& target, std::string& problem);

// What check says of a parsed target beyond its syntax: a command that does
// not exist, a secret file missing or readable by others, "starttls" with
// smtps://, a password in the URL of a configuration file others can read
// (configpath), a login without TLS (refused; with "insecure", to a host
// other than this one). "" when nothing is wrong.
std::string sendtargetproblem(const sendtarget& target, const std::string& configpath);

// Whether the target would log in without TLS, which it refuses to do
// unless it says "insecure".
bool cleartextlogin(const sendtarget& target);

// The password for target: from its secret file, opened once and checked
// through the descriptor (a plain file of the user running PondLark or of
// root, mode 0600 or stricter), or from its URL. Returns 0, or -1 with
// problem set.
[[nodiscard]] int loadpassword(const sendtarget& target, std::string& password, std::string& problem);
