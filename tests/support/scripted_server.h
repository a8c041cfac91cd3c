#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "support/process.h"

namespace ornivox::testsupport {

// One request as tests/fixtures/scripted_server.py saw it.
struct ScriptedRequest {
    std::string path;    // without the query
    std::string target;  // as sent, query included
    std::string method;
    std::vector<std::pair<std::string, std::string>> headers;

    // Case-insensitive header look-up.
    std::optional<std::string> header(std::string_view name) const;
};

// A misbehaving station on demand: every path plays a script of steps (see
// tests/fixtures/scripted_server.py and scripted_steps.py). {PORT} in the
// scenarios becomes the server's port and {NAME} the value of a var; when the
// scenarios use {MEDIA} and no var gives it, it becomes mediaDir().
class ScriptedServer {
public:
    // Throws std::runtime_error with the fixture's reason (bad scenario...).
    static std::unique_ptr<ScriptedServer> start(
        const std::string& scenariosJson,
        const std::vector<std::pair<std::string, std::string>>& vars = {});
    ~ScriptedServer();

    int port() const { return port_; }
    // "http://127.0.0.1:PORT/name"; a leading '/' in `name` is optional.
    std::string url(std::string_view name) const;

    // The JSON lines {"request": {...}} seen so far, oldest first.
    std::vector<std::string> requestLines();
    std::vector<ScriptedRequest> requests();
    size_t requestCount(std::string_view path);

    // True once `count` requests for `path` (the leading '/' is optional)
    // have been seen in total, earlier ones included.
    bool waitForRequests(std::string_view path, size_t count, std::chrono::milliseconds timeout);
    bool waitForRequest(std::string_view path, std::chrono::milliseconds timeout) {
        return waitForRequests(path, 1, timeout);
    }

private:
    ScriptedServer() = default;
    void readRequests();
    size_t countLocked(const std::string& path) const;

    std::string scenarioFile_;
    std::unique_ptr<ChildProcess> child_;
    int port_ = 0;
    std::thread reader_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::vector<ScriptedRequest> requests_;
};

}  // namespace ornivox::testsupport
