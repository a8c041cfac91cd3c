#include "audio/http_source.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "audio/bass.h"
#include "text/bytes.h"

namespace ornivox::audio {

namespace {

constexpr std::uint64_t kLargestWholeFile = 64ull << 20;
constexpr std::size_t kSmallestBuffer = 4096;
constexpr std::uint32_t kAssumedBitrate = 128000;
constexpr long kMaxRedirects = 5;

CURLM* asMulti(void* p) { return static_cast<CURLM*>(p); }
CURL* asEasy(void* p) { return static_cast<CURL*>(p); }

int errorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK: return BASS_OK;
    case CURLE_OPERATION_TIMEDOUT: return BASS_ERROR_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT: return BASS_ERROR_NONET;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING: return BASS_ERROR_FILEFORM;
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_TOO_MANY_REDIRECTS: return BASS_ERROR_CREATE;
    default: return BASS_ERROR_FILEOPEN;
  }
}

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

}  // namespace

HttpSource::HttpSource(HttpOptions options, IcySplitter::MetaSink meta)
    : options_(std::move(options)), meta_(std::move(meta)) {
  static CurlGlobal global;
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  if (!multi_ || !easy_) {
    signalAnswer(BASS_ERROR_MEM);
    return;
  }
  thread_ = std::thread([this] { run(); });
}

HttpSource::~HttpSource() {
  abort();
  if (thread_.joinable()) thread_.join();
  if (easy_) curl_easy_cleanup(asEasy(easy_));
  if (multi_) curl_multi_cleanup(asMulti(multi_));
  curl_slist_free_all(static_cast<curl_slist*>(extraHeaders_));
  curl_slist_free_all(static_cast<curl_slist*>(aliases_));
}

void HttpSource::abort() {
  {
    std::lock_guard lock(mutex_);
    aborted_.store(true);
    if (ring_) ring_->abort();
  }
  changed_.notify_all();
  wake();
}

void HttpSource::wake() {
  if (multi_) curl_multi_wakeup(asMulti(multi_));
}

int HttpSource::waitForAnswer(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_until(lock, deadline, [&] { return answered_ || aborted_.load(); }))
    return BASS_ERROR_TIMEOUT;
  if (!answered_) return BASS_ERROR_ENDED;
  return answerError_;
}

void HttpSource::signalAnswer(int error) {
  {
    std::lock_guard lock(mutex_);
    if (answered_) return;
    answered_ = true;
    answerError_ = error;
  }
  changed_.notify_all();
}

void HttpSource::notifyChanged() {
  // Taking the lock orders this wake-up after a waiter's check of the predicate.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

void HttpSource::waitForFill(std::size_t bytes, Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, deadline, [&] {
    return aborted_.load() || ring_->finished() || ring_->fill() >= std::min(bytes, ring_->capacity());
  });
}

std::string HttpSource::peek(std::size_t bytes) {
  // The reader has not started yet, so the ring's head is still the body's first byte.
  std::string head(std::min(bytes, ring_->fill()), '\0');
  ring_->copyHead(reinterpret_cast<std::uint8_t*>(head.data()), head.size());
  return head;
}

std::size_t HttpSource::onHeader(const char* data, std::size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  // Each answer (one per redirect) starts with its status line; only the last one counts.
  if (text::StartsWithIgnoringAsciiCase(line, "HTTP/") || text::StartsWithIgnoringAsciiCase(line, "ICY ")) partialHeaders_.clear();
  if (!line.empty()) partialHeaders_.push_back(std::move(line));
  return size;
}

void HttpSource::startBody() {
  headers_.lines = std::move(partialHeaders_);
  char* url = nullptr;
  curl_easy_getinfo(asEasy(easy_), CURLINFO_EFFECTIVE_URL, &url);
  effectiveUrl_ = url ? url : options_.url;

  const auto length = headers_.contentLength();
  if (length && *length > 0 && *length <= kLargestWholeFile && headers_.metaint() == 0) {
    endPosition_ = *length;
  } else {
    const std::uint32_t bitrate = headers_.statedBitrate() ? headers_.statedBitrate() : kAssumedBitrate;
    endPosition_ = std::max<std::uint64_t>(std::uint64_t{bitrate} / 8 * options_.bufferMs / 1000, kSmallestBuffer);
  }
  auto ring = std::make_unique<ByteRing>(static_cast<std::size_t>(endPosition_), [this] {
    if (wantWake_.load(std::memory_order_relaxed)) wake();
  });
  {
    std::lock_guard lock(mutex_);  // abort() reads ring_ from other threads
    ring_ = std::move(ring);
    if (aborted_.load()) ring_->abort();
  }
  splitter_ = std::make_unique<IcySplitter>(
      options_.wantIcyMeta ? headers_.metaint() : 0,
      [this](const std::uint8_t* d, std::size_t n) { storeAudio(d, n); }, meta_);
  signalAnswer(BASS_OK);
}

void HttpSource::storeAudio(const std::uint8_t* data, std::size_t size) {
  std::size_t taken = pending_.empty() ? ring_->write(data, size) : 0;
  if (taken < size) pending_.insert(pending_.end(), data + taken, data + size);
  if (taken) notifyChanged();
}

void HttpSource::drainPending() {
  if (pending_.empty()) return;
  const std::size_t n = ring_->write(pending_.data(), pending_.size());
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  if (n) notifyChanged();
}

std::size_t HttpSource::onBody(const char* data, std::size_t size) {
  if (aborted_.load()) return 0;  // makes curl end the transfer
  if (!ring_) startBody();
  if (!pending_.empty()) {
    curlPaused_ = true;
    wantWake_.store(true);
    return CURL_WRITEFUNC_PAUSE;
  }
  lastData_ = Clock::now();
  splitter_->feed(reinterpret_cast<const std::uint8_t*>(data), size);
  return size;
}

void HttpSource::run() {
  CURL* easy = asEasy(easy_);
  CURLM* multi = asMulti(multi_);
  auto headerCb = +[](char* d, std::size_t s, std::size_t n, void* self) {
    return static_cast<HttpSource*>(self)->onHeader(d, s * n);
  };
  auto bodyCb = +[](char* d, std::size_t s, std::size_t n, void* self) {
    return static_cast<HttpSource*>(self)->onBody(d, s * n);
  };
  curl_slist* extra = nullptr;
  if (options_.wantIcyMeta) extra = curl_slist_append(extra, "Icy-MetaData: 1");
  extraHeaders_ = extra;
  aliases_ = curl_slist_append(nullptr, "ICY 200 OK");

  curl_easy_setopt(easy, CURLOPT_URL, options_.url.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, extra);
  curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, static_cast<curl_slist*>(aliases_));
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.timeoutMs));
  curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, headerCb);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, bodyCb);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_multi_add_handle(multi, easy);

  const auto timeout = std::chrono::milliseconds(options_.timeoutMs);
  lastData_ = Clock::now();
  CURLcode result = CURLE_OK;
  bool done = false;
  while (!aborted_.load() && !done) {
    if (curlPaused_) {
      drainPending();
      if (pending_.empty()) {
        curlPaused_ = false;
        wantWake_.store(false);
        lastData_ = Clock::now();
        curl_easy_pause(easy, CURLPAUSE_CONT);
      }
    }
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE) {
        result = msg->data.result;
        done = true;
      }
    }
    if (done) break;
    // A server that goes quiet is a dropped stream; a full buffer is not.
    if (!curlPaused_ && Clock::now() - lastData_ > timeout) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, curlPaused_ ? 1000 : 250, nullptr);
  }
  curl_multi_remove_handle(multi, easy);

  if (!ring_ && result == CURLE_OK && !aborted_.load()) startBody();  // an empty body
  if (!ring_) {
    signalAnswer(aborted_.load() ? BASS_ERROR_ENDED : (result == CURLE_OK ? BASS_ERROR_FILEFORM : errorFromCurl(result)));
    return;
  }
  // What did not fit yet still belongs to the stream: wait for the reader to make room.
  wantWake_.store(true);
  while (!pending_.empty() && !aborted_.load()) {
    drainPending();
    if (!pending_.empty()) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  ring_->finish();
  notifyChanged();
}

}  // namespace ornivox::audio
