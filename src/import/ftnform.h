// FidoNet addresses written as Internet names (the FTN form).
//
// A FidoNet address travels on the Internet side as the part after "@" of
// an address or Message-ID: optional components p<point>. f<node>. n<net>.
// z<zone>. in this order, in front of a gateway domain, for example
// 305419896@p7.f2.n3.z4.fidonet.org. Import decodes such names back.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/fidoaddr.h"

// 1 when domain (the whole text after "@") is a gateway domain: it ends,
// ignoring case, with "." and the default FTN domain, or with "." and the
// text of a FidoDomain entry written with "#". Reads tables.fidodomain.
int ismapdomain(std::string_view domain);

// 1 when text holds "@" and the text after the first "@" is a gateway domain.
int hasmapdomain(std::string_view text);

// Decodes the components after the first "@" of text into a (starting from
// 0:0/0.0); 1 when a domain follows them, else 0. The domain itself is not
// checked (see hasmapdomain).
int decodeftnaddr(std::string_view text, fidoaddr& a);

// A Message-ID in FTN form: a gateway domain, a local part that begins with
// a decimal serial, and components that decode. 1 with a and serial set,
// else 0 with both unchanged.
int decodeftnmsgid(std::string_view msgid, fidoaddr& a, std::uint32_t& serial);

// The same for a reference (In-Reply-To, References): the serial is read as
// a signed number and kept as its 32 bits.
int decodeftnreplyid(std::string_view replyid, fidoaddr& a, std::uint32_t& serial);
