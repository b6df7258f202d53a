// One SMTP session through libcurl for all of a run's mail: libcurl keeps
// the connection of an easy handle open between transfers, so every
// message after the first goes over the connection (and TLS session) the
// first one opened, with one MAIL FROM / RCPT TO / DATA round each; QUIT
// is sent when the session ends. The server's answer to each command is
// read from libcurl's protocol trace, so that each recipient's fate is
// known, not only the transfer's.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/sendtarget.h"
#include "transport/smtpreply.h"

enum smtpresults {
    SMTP_ACCEPTED = 0,   // 250 after the data: every recipient not refused has it
    SMTP_TEMPORARY = 1,  // the server will take it later (4xx for the message)
    SMTP_PERMANENT = 2,  // the server will never take it (5xx for the message or every recipient)
    SMTP_SESSION = 3     // no session (connection, TLS, login, a server closing): nothing more this run
};

struct smtpoutcome {
    int result = SMTP_SESSION;
    std::vector<smtpreply> rcpt;  // the answer to each recipient, in order (code 0: none came)
    smtpreply decisive;           // the answer that decided the result
    std::string why;              // the reason in words, for the log
};

// Produces the message as it goes over the wire: fills buf with up to max
// bytes and returns their number; 0 at the end; -1 on a read error.
using wirereader = std::function<long(char* buf, std::size_t max)>;

class smtpsession {
   public:
    smtpsession();
    ~smtpsession();
    smtpsession(const smtpsession&) = delete;
    smtpsession& operator=(const smtpsession&) = delete;

    // Prepares the session for target (no connection is made yet). Returns
    // 0, or -1 with why set (the password file, libcurl itself).
    [[nodiscard]] int setup(const sendtarget& target, std::string& why);
    // Sends one message from sender to recipients (at most 100: more are
    // the caller's to split), its bytes from body (CR LF line ends; dots
    // are doubled by libcurl).
    smtpoutcome send(const std::string& sender, const std::vector<std::string>& recipients,
                     const wirereader& body);
    // How many connections the session has opened so far.
    long connections() const { return opened; }

    // The trace handler's state: the commands awaiting an answer.
    struct tracestate;

   private:
    const struct curlapi* api = nullptr;
    void* curl = nullptr;
    tracestate* trace = nullptr;
    std::string password;
    long opened = 0;
};

// The most recipients one transaction carries: every server takes at
// least 100 (RFC 5321), and Postfix refuses beyond 1000 by default.
constexpr std::size_t MAXRCPT = 100;
