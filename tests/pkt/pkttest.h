// A fixture for the packet writers: a gateway and the system it serves, a
// scratch inbound directory, and a way to make a whole packet and check its
// structure before a test looks at the bytes.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "pkt/pktcheck.h"
#include "support/testutil.h"

class pkttest : public statetest {
   protected:
    scratchdir dir;

    // Gateway 2:5020/1042 serving 2:5020/100; inbound is the scratch directory.
    void SetUp() override;

    // Writes a packet file: header, whatever body writes, terminator. Fails
    // the test when a write fails or the packet is not structurally sound;
    // returns the file's bytes.
    std::string makepacket(const std::function<void(std::FILE*)>& body);

    // The same, checked and returned as parsed by the independent checker.
    checkedpacket parsedpacket(const std::function<void(std::FILE*)>& body);

    // The one message such a packet holds, as parsed; an empty one (and a
    // failed test) when it holds another number of messages.
    checkedmessage messageof(const std::function<void(std::FILE*)>& body);
};

// Fills the current message: a netmail from John Doe <john@example.com>
// (through gateway 2:5020/1042) to Fido User at 2:5020/100, subject
// "Hello", dated 5 Mar 2001 09:04:07.
void setmessage();

// The bytes of hex digits ("0A 1b" style, spaces ignored).
std::string hexbytes(const std::string& hex);

// The file's bytes; fails the test when the packet is not sound.
std::string soundpacket(const std::string& path);
