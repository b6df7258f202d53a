// Running a program that takes one message (or one news batch) on its
// standard input: sendmail -oi -t, INN's rnews. The command line is split
// into words here and the program run directly, never through a shell, so
// nothing in a message or a configuration value is ever interpreted.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Splits a command line into words at spaces and tabs; double quotes keep
// spaces inside a word. The first word must be an absolute path. Returns
// 0, or -1 with problem set ("command must begin with /", "command has an
// unclosed quote", "command is empty").
[[nodiscard]] int splitcommand(std::string_view line, std::vector<std::string>& argv,
                               std::string& problem);

// Why the program of argv cannot be run: "command not found" when its
// first word is no executable file; "" when it can.
std::string commandproblem(const std::vector<std::string>& argv);

struct commandresult {
    int status = -1;     // exit status; -1 when it could not be started, 128 + n when signal n ended it
    std::string output;  // the start of what it wrote to standard output and error, one line
};

// Runs argv with feed writing its standard input into the descriptor it is
// given (feed returns 0, or -1 when it could not produce the input: the
// command is then stopped and counts as failed). Its output goes into a
// memory file, so a command that talks a lot never blocks. SIGPIPE is
// ignored while it runs. Returns the exit status as in r.status.
int runcommand(const std::vector<std::string>& argv, const std::function<int(int fd)>& feed,
               commandresult& r);

// Writes all of data to fd; 0, or -1.
[[nodiscard]] int writefd(int fd, std::string_view data);
