#pragma once
// Runs one of the built companion programs as its users do, from the
// program's folder, and returns its exit code and everything it printed.
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace testsupport {

struct ToolResult {
    int code = -1;
    std::string out;
};

// One argument quoted for the shell.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// stdin from /dev/null: a tool must not wait for anyone. With a time limit,
// a tool still running then is killed (exit code 124).
inline ToolResult RunTool(const std::string& program, const std::string& args, int seconds = 0)
{
    std::string cmd = Quote(std::string(QUORVEX_APP_DIR) + program) + " " + args + " </dev/null 2>&1";
    if (seconds > 0)
        cmd = "timeout " + std::to_string(seconds) + " " + cmd;
    ToolResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace testsupport
