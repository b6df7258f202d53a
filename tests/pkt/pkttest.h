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

    // Writes a packet file: header, whatever body writes, terminator; fails
    // the test when a write fails, the packet is not structurally sound or
    // holds other than one message. Returns that message as the
    // independent checker parsed it (an empty one on failure).
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
