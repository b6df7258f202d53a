// A fixture for the export sources that read the mailer's directories:
// a scratch tree with inbound, SOUP, temporary, outbound and netmail
// folders, the gateway 2:280/5555 serving sysop@pond.example, and helpers
// that build packets and stored messages byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/fidoaddr.h"
#include "support/testutil.h"

struct testmsg {
    std::uint16_t attr = 0x0001;
    std::string to = "someone@example.com";
    std::string subject = "Hello";
    std::string text = "Hello.\r";
};

// A type 2+ packet from 2:280/100 to dest holding msgs.
std::string testpacket(const fidoaddr& dest, const std::vector<testmsg>& msgs);

// The bytes of the one packed message m in a packet to dest (what follows
// the packet header).
std::string packedmessage(const fidoaddr& dest, const testmsg& m);

// A stored message from 280/100 to destnet/destnode: the 190-byte header
// and the text with its zero.
std::string storedmessage(std::uint16_t destnet, std::uint16_t destnode, const testmsg& m);

// The number of records in a SOUP reply file (0 when it does not exist).
int replyrecords(const std::string& path);

class sourcetest : public statetest {
   protected:
    scratchdir dir;
    void SetUp() override;
    // The reply file of a kind (REPLY_MAIL, REPLY_NEWS).
    std::string replyfile(int kind) const;
    // Makes every write to the reply file of a kind fail, as on a full disk.
    void failreplies(int kind) const;
    void healreplies(int kind) const;
};
