// One Internet mailbox, as an SMTP command line and a header line can both
// carry it unchanged: "local@domain" with a dot-atom local part (no quoted
// strings, no spaces, no commas or semicolons) and a host name or address
// literal as the domain. Whatever a FidoNet user or an Internet sender
// writes is checked against this before it becomes a recipient or a list
// member: a text that holds several addresses, or one that a parser could
// read as several, is no mailbox.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest mailbox and local part RFC 5321 allows.
constexpr std::size_t MAILBOXMAX = 254;
constexpr std::size_t MAILBOXLOCALMAX = 64;

// Whether text is exactly one mailbox (nothing around it).
bool ismailbox(std::string_view text);

// The mailbox a recipient text names: text with the blanks around it
// removed, and one pair of angle brackets around the whole ("<a@b>").
// The result is not checked; pass it to ismailbox.
std::string_view mailboxtext(std::string_view text);

// The pieces of a recipient list written by a person ("a@b, c@d"): split
// at commas, blanks around each piece removed, empty pieces left out.
std::vector<std::string_view> recipientpieces(std::string_view text);
