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

    std::string read(const std::string& text, const std::string& name = "main.cfg") {
        path = dir / name;
        writefile(path, text);
        ::testing::internal::CaptureStderr();
        readconfigfile(path, "/opt/gw/pondlark");
        return ::testing::internal::GetCapturedStderr();
    }
    std::string warning(const std::string& msg, int line) {
        return "Warning: " + msg + " in line " + std::to_string(line) + " of " + path + "\n\n";
    }
};
