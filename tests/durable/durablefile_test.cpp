// Lengths filled in after the fact: a patch lands on the bytes it names,
// whether they are written out already, still buffered, or both.
#include "durable/durablefile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace {

TEST(durablefilepatch, landswhereveritsbyteslie) {
    scratchdir dir;
    // 70,000 bytes: the first block (64 KiB) is written out when the rest
    // comes, the rest is still buffered; each patch below straddles or
    // sits on one side of that line.
    const std::size_t block = 1 << 16;
    std::string expected(70000, '.');
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>('a' + i % 26);
    durablefile f;
    ASSERT_EQ(f.open(dir / "out"), 0);
    f.write(std::string_view(expected).substr(0, 40000));
    f.write(std::string_view(expected).substr(40000));
    struct patchat {
        long at;
        std::string bytes;
    };
    const patchat patches[] = {
        {0, "LEN4"},                                      // written out
        {static_cast<long>(block) - 2, "EDGE"},           // across the line
        {static_cast<long>(block) + 10, "BUFD"},          // buffered
        {69996, "TAIL"},                                  // the last bytes
    };
    for (const patchat& p : patches) {
        EXPECT_EQ(f.patch(p.at, p.bytes.data(), p.bytes.size()), 0) << p.at;
        expected.replace(static_cast<std::size_t>(p.at), p.bytes.size(), p.bytes);
    }
    // Beyond what was written: refused, nothing changed.
    EXPECT_EQ(f.patch(69998, "XXXX", 4), -1);
    ASSERT_EQ(f.commit(), 0);
    EXPECT_EQ(readfile(dir / "out"), expected);
}

}  // namespace
