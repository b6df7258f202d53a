#include "import/rangereader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

// A file of numbered lines, larger than a few window blocks.
class rangereadertest : public ::testing::Test {
   protected:
    std::FILE* f = nullptr;
    std::string text;

    void SetUp() override {
        for (int i = 0; text.size() < 3 * filewindow::BLOCKSIZE + 1000; ++i) {
            text += "line " + std::to_string(i) + " of the message file\n";
        }
        f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
        std::fflush(f);
    }
    void TearDown() override {
        if (f) std::fclose(f);
    }

    // All lines of r read through w.
    static std::string readall(filewindow& w, msgrange r) {
        rangereader in(w, r);
        std::string out;
        while (in.readline(out, 1000) > 0) {
        }
        EXPECT_FALSE(in.error());
        return out;
    }
};

// Two passes over each message through one window, as the import reads
// them: the second pass finds bytes the first one moved past, also across
// the ends of blocks and at the end of the file; a message longer than
// what the window keeps is read again from the file.
TEST_F(rangereadertest, secondpassesreadthesamebytes) {
    filewindow w(f);
    const long size = static_cast<long>(text.size());
    const long block = static_cast<long>(filewindow::BLOCKSIZE);
    const long cuts[] = {0, 5000, block - 300, block + 10, 2 * block - 4000,
                         2 * block + 1, 3 * block - 1, size - 700, size};
    std::vector<msgrange> ranges;
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) ranges.push_back({cuts[i], cuts[i + 1]});
    ranges.push_back({100, 2 * block + 100});
    for (msgrange r : ranges) {
        std::string want = text.substr(static_cast<std::size_t>(r.start),
                                       static_cast<std::size_t>(r.end - r.start));
        EXPECT_EQ(readall(w, r), want) << r.start;
        EXPECT_EQ(readall(w, r), want) << r.start;
    }
    // Past the end of the file nothing is read.
    rangereader beyond(w, {size, size + 10});
    std::string out;
    EXPECT_EQ(beyond.readline(out, 100), 0u);
    EXPECT_TRUE(beyond.error());
}

// nextline gives the lines readline gives, viewed in place or (across the
// end of a block) copied: lines cut at max, the last one cut by the range.
TEST_F(rangereadertest, nextlinegivesreadlineslines) {
    const long block = static_cast<long>(filewindow::BLOCKSIZE);
    for (std::size_t max : {std::size_t{1000}, std::size_t{7}}) {
        filewindow w1(f), w2(f);
        msgrange r{block - 5000, 2 * block + 5003};
        rangereader a(w1, r), b(w2, r);
        std::string spill, line;
        for (;;) {
            line.clear();
            std::size_t n = a.readline(line, max);
            std::string_view v = b.nextline(max, spill);
            ASSERT_EQ(v, line) << a.tell();
            ASSERT_EQ(a.tell(), b.tell());
            if (n == 0) break;
        }
        EXPECT_EQ(b.tell(), r.end);
    }
}

}  // namespace
