#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

namespace ornivox::testsupport {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string resolve(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw std::runtime_error("program not found in PATH: " + program);
}

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Runs between fork and exec: async-signal-safe calls only.
[[noreturn]] void childMain(pid_t parent, int in, int out, int errPipe, const char* path,
                            char* const* argv) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent died before prctl
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0) _exit(127);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);  // the test may ignore it; the fixture must not
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // Descriptors the test opened without O_CLOEXEC (another child's stdin
    // pipe, say) must not leak: a leaked write end would hide that EOF.
    if (syscall(SYS_close_range, 3U, ~0U, 4U /* CLOSE_RANGE_CLOEXEC */) != 0) {
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != errPipe) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execv(path, argv);
    int err = errno;
    ssize_t ignored = write(errPipe, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    if (argv.empty()) throw std::invalid_argument("ChildProcess: empty argv");
    const std::string path = resolve(argv[0]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    if (pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]), ::close(in[1]);
        throw std::runtime_error("pipe2 failed");
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
        throw std::runtime_error("pipe2 failed");
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) childMain(parent, in[0], out[1], err[1], path.c_str(), args.data());
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (pid_ < 0) {
        ::close(in[1]), ::close(out[0]), ::close(err[0]);
        throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    }
    setpgid(pid_, pid_);  // also here, so the group exists before we may signal it
    stdin_ = in[1];
    stdout_ = out[0];
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));  // -1: fall back to polling

    int childErr = 0;
    ssize_t n;
    do n = ::read(err[0], &childErr, sizeof childErr);
    while (n < 0 && errno == EINTR);
    ::close(err[0]);
    if (n == static_cast<ssize_t>(sizeof childErr)) {
        stop(milliseconds(0));
        throw std::runtime_error("cannot run " + path + ": " + std::strerror(childErr));
    }
}

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::writeLine(std::string_view line) {
    if (stdin_ < 0) return false;
    std::string data(line);
    data += '\n';
    // A child that is gone must give false here, not kill the test with
    // SIGPIPE: block it for this thread and swallow the one we caused.
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    const char* p = data.data();
    size_t left = data.size();
    bool ok = true;
    while (left > 0) {
        ssize_t w = ::write(stdin_, p, left);
        if (w < 0) {
            if (errno == EINTR) continue;
            ok = false;
            if (errno == EPIPE) {
                timespec zero{};
                sigtimedwait(&pipeSet, nullptr, &zero);
            }
            break;
        }
        p += w;
        left -= static_cast<size_t>(w);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

void ChildProcess::closeStdin() { closeFd(stdin_); }

std::optional<std::string> ChildProcess::readLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto pos = buffer_.find('\n'); pos != std::string::npos) {
            std::string line = buffer_.substr(0, pos);
            buffer_.erase(0, pos + 1);
            return line;
        }
        if (eof_ || stdout_ < 0) {
            if (buffer_.empty()) return std::nullopt;
            return std::exchange(buffer_, {});
        }
        pollfd pfd{stdout_, POLLIN, 0};
        int r = ::poll(&pfd, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        char chunk[4096];
        ssize_t n = ::read(stdout_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            eof_ = true;
            continue;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

bool ChildProcess::exited(milliseconds timeout) {
    if (reaped_) return true;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (pidfd_ >= 0) {
            pollfd pfd{pidfd_, POLLIN, 0};
            int r = ::poll(&pfd, 1, remainingMs(deadline));
            if (r < 0 && errno == EINTR) continue;
            return r > 0;
        }
        // Kernels without pidfd: poll the state, bounded by the deadline.
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid_)
            return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
}

std::optional<int> ChildProcess::waitExit(milliseconds timeout) {
    if (reaped_) return exitCode_;
    if (!exited(timeout)) return std::nullopt;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return std::nullopt;
    if (info.si_code == CLD_EXITED) return info.si_status;
    return 128 + info.si_status;
}

int ChildProcess::stop(milliseconds grace) {
    if (pid_ <= 0 || reaped_) return exitCode_;
    closeStdin();
    if (!exited(grace)) {
        ::kill(-pid_, SIGTERM);
        if (!exited(milliseconds(3000))) ::kill(-pid_, SIGKILL);
    }
    // Whatever the child left in its group goes too. Its leader is not
    // reaped yet, so the group id cannot belong to anybody else.
    ::kill(-pid_, SIGKILL);
    int status = 0;
    pid_t r;
    do r = ::waitpid(pid_, &status, 0);
    while (r < 0 && errno == EINTR);
    exitCode_ = r == pid_ ? decodeStatus(status) : -1;
    reaped_ = true;
    closeFd(stdout_);
    closeFd(pidfd_);
    return exitCode_;
}

}  // namespace ornivox::testsupport
