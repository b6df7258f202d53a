// One connection to an NNTP server: TCP (with a time limit on connecting
// and on every reply), TLS through libssl from the first byte (nntps://)
// or after STARTTLS, the certificate checked against the system's
// certificates or the server's cafile= and its name against the host the
// URL names (unless "insecure"), and a login by AUTHINFO USER/PASS that
// never goes over a connection without TLS unless "insecure" says so.
// Everything the server sends is read with limits: a status line of at
// most 2,048 bytes, a multi-line block as its blockreader allows, each
// read within the server's timeout and a whole block within ten times it.
// SIGPIPE is ignored while a connection is open.
#pragma once

#include <signal.h>

#include <string>
#include <string_view>

#include "config/settings.h"
#include "transport/nntpreply.h"

struct sslapi;
struct ssl_st;
struct ssl_ctx_st;

class nntpconnection {
   public:
    nntpconnection() = default;
    ~nntpconnection();
    nntpconnection(const nntpconnection&) = delete;
    nntpconnection& operator=(const nntpconnection&) = delete;

    // Connects to s, turns to TLS as s asks, reads the greeting, says MODE
    // READER when reader is set, and logs in when s has a user. 0, or -1
    // with why set (the connection is then closed).
    [[nodiscard]] int open(const newsserverdef& s, bool reader, std::string& why);
    // Sends one command line (CR LF added) and reads its status.
    [[nodiscard]] int command(std::string_view line, nntpstatus& st, std::string& why);
    // Queues bytes; they leave with flush, or when the queue is large.
    [[nodiscard]] int queue(std::string_view bytes, std::string& why);
    [[nodiscard]] int flush(std::string& why);
    // Reads the next status line. 0, or -1 with why.
    [[nodiscard]] int readstatus(nntpstatus& st, std::string& why);
    // Reads a multi-line block into b until its end. 0, or -1 with why.
    [[nodiscard]] int readblock(blockreader& b, std::string& why);
    // Says QUIT (without waiting long for the answer) and closes.
    void quit();
    // Closes without a word: the connection is in an unknown state.
    void drop() { closeall(); }
    bool isopen() const { return fd >= 0; }
    bool encrypted() const { return ssl != nullptr; }

   private:
    int connectto(const newsserverdef& s, std::string& why);
    int starttls(const newsserverdef& s, std::string& why);
    int login(const newsserverdef& s, std::string& why);
    long rawread(char* buf, std::size_t n, std::string& why);
    int rawwrite(const char* buf, std::size_t n, std::string& why);
    int fill(std::string& why);
    void closeall();
    std::string sslerror(int ret);

    int fd = -1;
    int timeout = 60;
    const sslapi* api = nullptr;
    ssl_st* ssl = nullptr;
    ssl_ctx_st* ctx = nullptr;
    std::string host;
    std::string in;  // read, not yet used from inpos on
    std::size_t inpos = 0;
    std::string out;  // queued
    bool pipeignored = false;
    struct sigaction oldpipe {};
};
