// A server as a configuration line names it by URL:
//
//   scheme://[user[:password]@]host[:port][/rest]
//
// The host is a name of letters, digits, "-", "." and "_", or an IPv6
// address in brackets ("[::1]", kept with them); the port is 1 to 65535.
// User and password are percent-decoded and may hold no control character;
// where they go into a line protocol as words (NNTP's AUTHINFO) no space
// either. A "/" in the user or password must be written %2F: the first "/"
// after "//" ends the host part. No hidden inputs.
#pragma once

#include <string>
#include <string_view>

struct serverurl {
    std::string scheme;    // as written, before "://"
    std::string user;      // decoded; empty: none
    std::string password;  // decoded; empty: none
    std::string host;
    int port = 0;          // 0: the URL names none
    bool hasrest = false;  // a "/" followed the host part
    std::string rest;      // what followed it, as written
};

// Splits url into out. False when it is not such a URL (an empty user
// before "@" included).
[[nodiscard]] bool parseserverurl(std::string_view url, bool nospace, serverurl& out);

// Letters, digits, "-", "." and "_": what a host or EHLO name is made of.
bool hostnamechar(char c);
