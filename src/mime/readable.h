// The readable text of an Internet message, as a person would see it in a
// mail program, for the places where the gateway quotes a message rather
// than converting it: the start of a refused reply in a bounce, the
// explanation of a delivery status notification. Parts are found by their
// boundaries, decoded from quoted-printable or Base64 and converted from
// their character set into UTF-8.
//
// Everything here reads hostile text: every loop has a bound (parts,
// nesting) and nothing is assumed about line ends (LF or CR LF).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t MAXREADABLEPARTS = 64;
constexpr int MAXREADABLEDEPTH = 4;

struct mimepart {
    std::string_view header;  // the header block, its empty line included
    std::string_view body;
};

// A message or part cut into its header and body.
mimepart splitpart(std::string_view text);

// The parts of a multipart body (preamble and epilogue left out), at most
// MAXREADABLEPARTS; a body without a closing boundary ends at its end.
std::vector<mimepart> multipartparts(std::string_view body, std::string_view boundary);

// The MIME type of a part in lower case ("text/plain" when none is given)
// and the parameter of its Content-Type, or "".
std::string parttype(std::string_view header);
std::string typeparameter(std::string_view header, std::string_view name);

// A part's body decoded by its Content-Transfer-Encoding and converted
// from its charset (else UTF-8 when valid, else windows-1252) into UTF-8,
// line ends made LF.
std::string decodedtext(const mimepart& p);

// The readable text of a message: its first text/plain part (looking into
// multiparts, MAXREADABLEDEPTH deep), else its first text part, as
// decodedtext gives it; "" when it has none.
std::string readabletext(std::string_view message);
