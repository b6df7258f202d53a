// What an Internet sender writes never becomes FidoNet control information.
//
// A tosser trusts what a packet holds: lines that begin with 0x01 (kludges)
// route netmail and identify messages (INTL, FMPT, TOPT, MSGID), "AREA:" as
// the first line names the echo, "SEEN-BY:" lines decide where echomail
// goes next, and the tear and origin lines close a message. Import puts
// text from the Internet into every one of those places, so everything it
// writes into a packet passes through here last, after every decoding and
// character-set conversion. Nothing here changes a text's length: what was
// counted for a line (the split at ImportLimit) stays true.
//
// Values - the to, from and subject fields of the packed header and what
// kludge lines, the AREA line, the origin line and the lines of the
// information block carry: every byte below 0x20 and 0x7F becomes a space;
// in UTF-8 text so does each byte of a C1 control (U+0080..U+009F) and of a
// bidirectional override or isolate (U+202A..U+202E, U+2066..U+2069); in a
// single-byte set each byte that it reads as a C1 control (0x80..0x9F of
// the ISO 8859 sets).
//
// Body text: a zero byte (which ends the message text) becomes a space and
// 0x01 an "@". A line, and every piece of one that a carriage return or line
// feed inside it would start, that begins like control information gets a
// "+" in its marking place: "SEEN-BY:" reads "SEEN+BY:", "AREA:" "AREA+",
// a tear line ("---" alone or followed by a blank) "-+-", " * Origin:"
// " + Origin:" (letter case ignored: some tossers ignore it too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How the bytes above 0x7F of a value are read.
struct guardrule {
    bool utf8 = true;    // UTF-8: C1 controls and bidirectional overrides are blanked
    std::uint32_t c1 = 0;  // else: bit b set when the byte 0x80 + b is a C1 control
};

// The rule for FidoNet text in the character set cs (an ICU name; empty
// counts as UTF-8).
const guardrule& guardforcharset(std::string_view cs);

// The rule for the current message's FidoNet text (`curmsg.outcharset`).
const guardrule& guardfor();

// Makes n bytes of a value at p safe, in place.
void guardvalue(char* p, std::size_t n, const guardrule& rule);

// Makes n bytes of body text at p safe, in place. p is the start of a line
// (the text of one line of the packet, a piece of a long one, or several
// lines that end in carriage returns).
void guardbody(char* p, std::size_t n);

// Appends a value, made safe for the current message (guardfor).
inline void appendguarded(std::string& out, std::string_view text) {
    std::size_t from = out.size();
    out.append(text);
    guardvalue(out.data() + from, text.size(), guardfor());
}

// Appends one line of body text, made safe, and its carriage return.
inline void appendbodyline(std::string& out, std::string_view text) {
    std::size_t from = out.size();
    out.append(text);
    guardbody(out.data() + from, text.size());
    out.push_back('\r');
}

// Appends one kludge line: 0x01, two blanks more for a continuation line,
// the value made safe, and the carriage return.
inline void appendkludgeline(std::string& out, std::string_view text, bool continuation) {
    out.append(continuation ? "\x01  " : "\x01");
    appendguarded(out, text);
    out.push_back('\r');
}
