// Who a reply message is from and for, read from its own header as
// sendmail -t does: the sender from "Sender:" (a list's address on list
// traffic) or else the first "From:" address; the recipients from "To:",
// "Cc:" and "Bcc:". A reply that reached some of its recipients already
// carries an "X-PondLark-Sent-To:" line naming them; they are not sent to
// again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr char SENTTOFIELD[] = "X-PondLark-Sent-To";

struct envelope {
    std::string sender;
    std::vector<std::string> recipients;  // each once, in header order, the sent-to ones left out
    std::vector<std::string> sentto;      // from X-PondLark-Sent-To
    std::string messageid;                // for the log
};

// The addresses of an address-list field value (RFC 5322: display names,
// comments, quoted strings, angle addresses with or without a route,
// groups). Addresses that cannot be used on an SMTP command line (white
// space or control characters, angle brackets, empty) are left out.
std::vector<std::string> addresslist(std::string_view value);

// The header of a message: the bytes up to and including the empty line
// that ends it (LF or CR LF line ends), or the whole text when it has none.
std::size_t headerlength(std::string_view text);

// Reads the envelope from a message's header. Returns 0, or -1 with
// problem set ("no sender", "no recipients").
[[nodiscard]] int readenvelope(std::string_view header, envelope& env, std::string& problem);

// The header as it leaves: without Bcc lines (unless keepbcc, for a
// command that reads its recipients from them) and without
// X-PondLark-Sent-To lines; line ends unchanged.
std::string outgoingheader(std::string_view header, bool keepbcc);

// The header with an X-PondLark-Sent-To line naming addresses as its last
// field (an old one dropped): what is kept of a reply whose delivery is
// not finished.
std::string withsentto(std::string_view header, const std::vector<std::string>& addresses);

// The unfolded value of the first field of that name (case ignored) in a
// header, white space around it dropped; empty when there is none.
std::string firstfield(std::string_view header, std::string_view name);

// Whether two addresses are the same mailbox (the domain ignoring case).
bool sameaddress(std::string_view a, std::string_view b);
