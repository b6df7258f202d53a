// News batches as INN's batcher (and send-uucp) write them for a UUCP
// feed: articles back to back, each opened by a line "#! rnews <count>"
// and followed by exactly count bytes. The SOUP USENET format is the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One article of a batch: where its bytes lie in the file.
struct batcharticle {
    long start = 0;   // first byte after its "#! rnews" line
    long length = 0;  // its count
};

// Why a folder cannot serve ImportNewsBatches: "" when it can be read.
std::string batchfolderproblem(const std::string& dir);

// Whether the open file fd begins with "#! rnews " (a plain news batch;
// compressed ones begin otherwise). Reads 9 bytes.
bool isnewsbatch(int fd);
// The same for the file at path (never through a link).
bool isnewsbatch(const std::string& path);

// The articles of the batch in the open file fd (of size bytes). Returns
// true when the whole file is articles; false when it is damaged from
// some point on (a line that is no count line, a count running past the
// end): out then holds the articles before the damage.
bool readbatch(int fd, long size, std::vector<batcharticle>& out);

// The groups of the "Newsgroups:" field of an article's header (the
// bytes before the first empty line), in their order, white space
// dropped; a group that is not printable ASCII is left out. Empty when the
// header has none.
std::vector<std::string> articlegroups(std::string_view header);
