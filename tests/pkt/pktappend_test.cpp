#include "pkt/pktappend.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// The helpers write what the printf formats they stand for would write.
TEST(pktappend, numbersasprintfwould) {
    const unsigned long values[] = {0, 7, 9, 10, 99, 100, 65535, 4294967295ul};
    for (unsigned long v : values) {
        for (int width : {0, 1, 2, 4, 8}) {
            std::string got;
            appenddec(got, v, width);
            char want[32];
            std::snprintf(want, sizeof want, "%0*lu", width, v);
            EXPECT_EQ(got, want) << v << " " << width;
        }
        std::string hex;
        appendhex8(hex, static_cast<std::uint32_t>(v));
        char want[16];
        std::snprintf(want, sizeof want, "%08lX", v);
        EXPECT_EQ(hex, want) << v;
    }
    std::string a;
    appendaddr(a, fidoaddr{2, 280, 5555, 0}, true);
    a += ' ';
    appendaddr(a, fidoaddr{65535, 0, 1, 7}, false);
    EXPECT_EQ(a, "2:280/5555.0 65535:0/1");
}

}  // namespace
