// The shared fixture of the configuration tests: reads a configuration
// text from a scratch file and gives back what went to standard error.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/reader.h"
#include "support/testutil.h"

class configtest : public statetest {
   protected:
    scratchdir dir;
    std::string path;
    std::string text;  // what read() wrote last

    std::string read(const std::string& t, const std::string& name = "main.cfg") {
        path = dir / name;
        text = t;
        writefile(path, text);
        ::testing::internal::CaptureStderr();
        readconfigfile(path, "/opt/gw/pondlark");
        return ::testing::internal::GetCapturedStderr();
    }
    // Line n of the text read last, as written (without its line end).
    std::string lineof(int n) const {
        std::size_t pos = 0;
        for (int i = 1; i < n; ++i) pos = text.find('\n', pos) + 1;
        std::string l = text.substr(pos, text.find('\n', pos) - pos);
        while (!l.empty() && l.back() == '\r') l.pop_back();
        return l;
    }
    // A message about line n of the file read last: the line follows it.
    std::string warning(const std::string& msg, int line) {
        return "Warning: " + msg + " in line " + std::to_string(line) + " of " + path + ": " +
               lineof(line) + "\n\n";
    }
    std::string error(const std::string& msg, int line) {
        return "Error: " + msg + " in line " + std::to_string(line) + " of " + path + ": " +
               lineof(line) + "\n\n";
    }
    // An unknown keyword: named, with the keyword meant or the line.
    std::string unknown(const std::string& keyword, int line, const std::string& meant = "") {
        return "Warning: unknown keyword " + keyword + " in line " + std::to_string(line) + " of " +
               path + ": " + (meant.empty() ? lineof(line) : "did you mean " + meant + "?") +
               "\n\n";
    }
};
