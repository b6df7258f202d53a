// MIME as import reads it: the "Content-" header lines and their
// parameters, multipart boundaries and quoted-printable text. Encoded
// files themselves are decoded by import/decode.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest multipart boundary and attachment file name kept.
constexpr std::size_t MAXBOUNDARY = 128;
constexpr std::size_t MAXFILENAME = 4095;

// The MIME state of one message, met line by line; empty at its start.
struct mimestate {
    std::string boundary;   // the first multipart boundary of the message; empty: none yet
    int qp = 0;             // quoted-printable is decoded in every line read
    int base64pending = 0;  // the header block announced Base64: a part begins at its end
    int paramscan = 0;      // a "Content-" line was seen in this header block
    std::string filename;   // the last name given (name=, filename=); empty: none
    int namefromdisposition = 0;  // filename came from Content-Disposition, which names best
};

// The value of the parameter param (for example "boundary=") found at the
// start of text: written in double quotes (up to the closing quote, blanks
// after the opening quote skipped) or as a token (up to ";" or white
// space). At most max characters, trailing white space dropped. Returns
// the length of text taken (parameter and value), 0 when text does not
// start with param.
std::size_t mimeparameter(std::string_view text, std::string_view param, std::size_t max,
                          std::string& value);

// Takes what a non-empty line (header or body) says about MIME into m and
// `curmsg`: "Content-Type:" (first one into curmsg.mimetype),
// "Content-Transfer-Encoding:" (curmsg.mimecte; Base64 pending,
// quoted-printable on or off) and, for the rest of a header block that has a
// "Content-" line, the name=, boundary= and charset= parameters (charset
// into curmsg.rfccharset while it is empty). The file name of a
// "Content-Type:" or "Content-Disposition:" field is read as MIME writes
// it (RFC 2231 pieces and charsets, encoded words: UTF-8), Content-
// Disposition's before Content-Type's.
void mimeheaderline(std::string_view line, mimestate& m);

// True when line opens a part of the multipart boundary ("--" and the
// boundary); closing is set when "--" follows, which ends the message.
bool isboundaryline(std::string_view line, std::string_view boundary, bool& closing);

// Replaces each "=" followed by two hexadecimal digits by the byte they
// give (a zero byte by a space); any other "=" stays.
void decodeqp(std::string& line);
