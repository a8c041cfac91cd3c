#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornivox::testsupport {

// A child with piped stdin/stdout (stderr is shared with the test, so fixture
// diagnostics land in the test log). The child leads its own process group
// and gets SIGTERM when the thread that started it dies, so a crashed test
// leaves nothing running; stop() takes the whole group down.
//
// One thread may write while another reads; stop() must not race with either.
class ChildProcess {
public:
    // argv[0] is looked up in PATH when it has no '/'. Throws
    // std::runtime_error when the program cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Appends '\n'. False once the child no longer reads its stdin.
    bool writeLine(std::string_view line);
    void closeStdin();

    // The next line without its '\n'; nullopt on time-out or at EOF.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    bool atEof() const { return eof_; }

    // Exit code (128 + signal number if killed) once the child has ended
    // within the time-out, else nullopt. Does not reap: stop() does.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);

    // Closes stdin and waits up to `grace` for the child to leave by itself,
    // then SIGTERMs and finally SIGKILLs its process group; always reaps.
    // Returns the exit code as waitExit() does. Idempotent.
    int stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    bool exited(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool eof_ = false;
    bool reaped_ = false;
    int exitCode_ = -1;
    std::string buffer_;
};

}  // namespace ornivox::testsupport
