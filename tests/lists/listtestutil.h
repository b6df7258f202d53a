// Helpers shared by the mailing-list tests: writing a list file and reading
// it as the configuration would, with the warnings it draws.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <string>

#include "driver/resetall.h"
#include "lists/listfiles.h"
#include "support/testutil.h"

// The keyword block most tests start their list files with.
inline const char* const LISTHEAD =
    "ListName Pond Talk\n"
    "ListAddress pond@lists.example\n"
    "ListUsers\n";

// A five-line member record as the list server writes it.
inline std::string record(const std::string& address, const std::string& name = "", int status = 1,
                          const std::string& password = "", const char* marker = "+") {
    return std::string(marker) + "\n" + address + "\n" + name + "\n" + std::to_string(status) +
           "\n" + password + "\n";
}

class listtest : public statetest {
   protected:
    scratchdir dir;
    std::string path;  // the list file last written

    // Writes text as the list file name (in the scratch folder) and reads
    // it; returns standard error. result receives readlist's result.
    std::string readtext(const std::string& text, const std::string& name = "members.lst",
                         int* result = nullptr) {
        path = dir / name;
        writefile(path, text);
        ::testing::internal::CaptureStderr();
        int r = readlist(path, 7, "/etc/gate.cfg", "/opt/gw/pondlark");
        if (result) *result = r;
        return ::testing::internal::GetCapturedStderr();
    }
    std::string warning(const std::string& msg, long line) const {
        return "Warning: " + msg + " in line " + std::to_string(line) + " of " + path + "\n\n";
    }
    listrecord& last() { return lists.listconfig.back(); }
};
