#include "support/scripted_server.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <strings.h>

#include "support/fixture_paths.h"
#include "support/json_lite.h"
#include "support/media.h"

namespace ornivox::testsupport {
namespace {

using namespace std::chrono_literals;

constexpr auto kReadyTimeout = 20s;
constexpr auto kReadPoll = 100ms;  // how soon the reader notices it should stop

std::string normalisedPath(std::string_view path) {
    std::string p(path);
    if (p.empty() || p[0] != '/') p.insert(0, "/");
    return p;
}

std::string writeTempFile(const std::string& content) {
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/ornivox-scenario-XXXXXX.json";
    int fd = ::mkstemps(name.data(), 5);
    if (fd < 0) throw std::runtime_error("cannot create " + name);
    ::close(fd);
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        ::unlink(name.c_str());
        throw std::runtime_error("cannot write " + name);
    }
    return name;
}

std::optional<ScriptedRequest> parseRequest(const std::string& line) {
    auto json = JsonValue::parse(line);
    const JsonValue* r = json ? json->get("request") : nullptr;
    if (!r) return std::nullopt;
    ScriptedRequest req;
    req.path = r->getString("path");
    req.target = r->getString("target");
    req.method = r->getString("method");
    if (const JsonValue* h = r->get("headers"); h && h->type() == JsonValue::Type::Object)
        for (size_t i = 0; i < h->keys().size(); ++i)
            req.headers.emplace_back(h->keys()[i], h->items()[i].asString());
    return req;
}

}  // namespace

std::optional<std::string> ScriptedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), key.size()) == 0)
            return value;
    return std::nullopt;
}

std::unique_ptr<ScriptedServer> ScriptedServer::start(
    const std::string& scenariosJson, const std::vector<std::pair<std::string, std::string>>& vars) {
    std::unique_ptr<ScriptedServer> server(new ScriptedServer);
    server->scenarioFile_ = writeTempFile(scenariosJson);
    std::vector<std::string> argv{kPython, "-B", fixturePath("scripted_server.py"), "--scenarios",
                                  server->scenarioFile_};
    bool mediaGiven = false;
    for (const auto& [name, value] : vars) {
        argv.push_back("--var");
        argv.push_back(name + "=" + value);
        mediaGiven = mediaGiven || name == "MEDIA";
    }
    if (!mediaGiven && scenariosJson.find("{MEDIA}") != std::string::npos) {
        argv.push_back("--var");
        argv.push_back("MEDIA=" + mediaDir());
    }
    server->child_ = std::make_unique<ChildProcess>(argv);
    auto line = server->child_->readLine(kReadyTimeout);
    if (!line) throw std::runtime_error("scripted_server.py gave no ready line");
    auto answer = JsonValue::parse(*line);
    if (!answer || !answer->getBool("ready"))
        throw std::runtime_error("scripted_server.py: " +
                                 (answer ? answer->getString("error", *line) : *line));
    server->port_ = static_cast<int>(answer->getNumber("port"));
    server->reader_ = std::thread([s = server.get()] { s->readRequests(); });
    return server;
}

ScriptedServer::~ScriptedServer() {
    if (child_) child_->writeLine("quit");
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
    if (child_) child_->stop();
    if (!scenarioFile_.empty()) ::unlink(scenarioFile_.c_str());
}

void ScriptedServer::readRequests() {
    while (!stopping_) {
        auto line = child_->readLine(kReadPoll);
        if (!line) {
            if (child_->atEof()) return;
            continue;
        }
        auto request = parseRequest(*line);
        std::lock_guard lock(mutex_);
        lines_.push_back(*line);
        if (request) requests_.push_back(std::move(*request));
        changed_.notify_all();
    }
}

std::string ScriptedServer::url(std::string_view name) const {
    return "http://127.0.0.1:" + std::to_string(port_) + normalisedPath(name);
}

std::vector<std::string> ScriptedServer::requestLines() {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<ScriptedRequest> ScriptedServer::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

size_t ScriptedServer::countLocked(const std::string& path) const {
    size_t n = 0;
    for (const auto& r : requests_) n += r.path == path;
    return n;
}

size_t ScriptedServer::requestCount(std::string_view path) {
    std::lock_guard lock(mutex_);
    return countLocked(normalisedPath(path));
}

bool ScriptedServer::waitForRequests(std::string_view path, size_t count,
                                     std::chrono::milliseconds timeout) {
    const std::string p = normalisedPath(path);
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return countLocked(p) >= count; });
}

}  // namespace ornivox::testsupport
