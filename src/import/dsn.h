// Delivery status notifications: the mail a server sends back when it
// could not deliver (or only late), read so that a person can understand
// it. Two shapes are known:
// - RFC 3464 multipart/report (Postfix, Exim with MIME reports, Gmail,
//   Exchange ...): a human-readable part, a machine part of status fields
//   (message/delivery-status; any other report type too, such as
//   message/disposition-notification), and the returned message or its
//   header (message/rfc822, text/rfc822-headers);
// - the plain-text forms of Exim ("This message was created automatically
//   by mail delivery software"), Postfix ("This is the mail system at
//   host") and Gmail ("Delivery to the following recipient failed"): a
//   text from the mailer daemon whose failed addresses and server answers
//   stand in the text, followed by a copy of the message after a line
//   that says so.
// The parser reads hostile text: it never fails, takes at most
// MAXREPORTBYTES and MAXDSNRECIPIENTS, and returns text in UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t MAXREPORTBYTES = 1 << 20;
constexpr std::size_t MAXDSNRECIPIENTS = 64;

struct dsnrecipient {
    std::string recipient;   // address (Final-Recipient, else Original-Recipient)
    std::string action;      // "failed", "delayed", "delivered", ... (MDN: the disposition)
    std::string status;      // "5.1.1"
    std::string diagnostic;  // the remote server's answer, without "smtp;"
};

struct dsnreport {
    bool isreport = false;       // a report of either shape
    std::string reporttype;      // "delivery-status", "disposition-notification", ...; "" for plain text
    std::string humantext;       // the explanation for people, UTF-8, LF line ends
    std::string reportingmta;    // from the status fields
    std::vector<dsnrecipient> recipients;
    // The returned message, as far as the report holds it.
    std::string returnedid;       // Message-ID, as written
    std::string returnedsubject;  // UTF-8
    std::string returnedfrom;     // the From field's value
    std::string returnedto;       // the first To address
};

// Whether a mail may be a report at all, from its first Content-Type, its
// sender and subject: the cheap test that lets every other mail pass.
bool maybereport(std::string_view contenttype, std::string_view fromaddress, std::string_view subject);

// Reads a whole message (header and body). out.isreport is false when it
// is no report of a known shape.
void parsedsn(std::string_view message, dsnreport& out);

// The status fields summarised for a person: a block per recipient with
// "Recipient:", "Action:", "Status:" and "Diagnostic:" lines (those that
// have a value), UTF-8, LF line ends.
std::string dsnsummary(const dsnreport& r);
