// Parsers for the values of Internet header fields: address lists with
// display names, Message-IDs and references, plain texts, newsgroup lists
// and dates. They never fail: a value that makes no sense leaves its target
// as it was, and every stored text is cut to its field's capacity.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/fixedtext.h"
#include "import/curmsg.h"

// A backslash-escaped space inside an address or name: kept apart from the
// delimiting spaces while parsing, turned back into a space at the end.
constexpr char PROTECTEDSPACE = '\xff';

// Where an address ends: the end of the text, tab, space, "(", ")", "<", ">".
inline bool isdelimiter(int c) {
    return c == '\0' || c == '\t' || c == ' ' || c == '(' || c == ')' || c == '<' || c == '>';
}
// Where an attribution line's address part begins: ",", ";", "=".
inline bool isseparator(int c) {
    return c == ',' || c == ';' || c == '=';
}
// The closing brackets around an address or a name: ">" and ")".
inline bool isrightsep(int c) {
    return c == '>' || c == ')';
}

// Removes every backslash and keeps the character after it as it stands; an
// escaped space becomes PROTECTEDSPACE.
void unescape(std::string& s);

// Turns every PROTECTEDSPACE back into a space.
void unfixed(std::string& s);

// Removes enclosing double or single quotes, layer by layer.
void unquote(std::string& s);

// What kind of header an address list comes from.
enum headerkinds {
    HEADER_FROM = 0,
    HEADER_TO = 1,
    HEADER_CC = 2,
    HEADER_BCC = 3,
    HEADER_REPLYTO = 4,
    HEADER_QUOTE = 5  // the attribution line of a quote in the body
};

// Parses an address list (value is changed). The first entry's address and
// display name go to email and name when given; for To, Cc and Bcc every
// further address (and a first one without field) becomes an entry of
// curmsg.emaillist (at most MAXEMAILLIST). A field is only written when
// something was found for it.
// Display names of header fields (not of a quote attribution) have their
// encoded words decoded before they are cut; nametext, when given, takes
// the first name whole (import/headertext.h).
void processemail(std::string& value, text128* email, text128* name, int kind,
                  fieldtext* nametext = nullptr);

// Stores the Message-ID around the first (which 0) or last (which 1) "@" of
// value (changed), without angle brackets; no "@" leaves field alone.
void processmsgid(std::string& value, text128& field, int which);

// The value without leading and trailing blanks and tabs, for processtext.
std::string textvalue(std::string_view value);

// Stores a plain text value, trimmed, cut to the field's capacity.
template <std::size_t N>
void processtext(std::string_view value, fixedtext<N>& field) {
    field = textvalue(value);
}

// Appends every group of a Newsgroups list except areaname (and empty
// items) to curmsg.xpost, at most MAXXPOST of them.
void processnewsgroups(std::string_view value, std::string_view areaname);

// Parses "[weekday,] day month year time zone" (value is changed) into t,
// which first becomes 1 Jan 1970 00:00:00; the text after the time goes to
// tz when given. A number outside its field's range is not stored.
void processdate(std::string& value, msgtimes& t, text128* tz);
