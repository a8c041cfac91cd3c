#include "desktop/messenger_x11.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace ornivox::desktop {
namespace {

// Window managers put each client inside frames of their own; the client
// that carries WM_CLASS sits at most this many levels below the top-level
// window.
constexpr int kFrameDepth = 2;
// WM_CLASS is two short names; anything longer is not the receiver.
constexpr std::uint32_t kClassWords = 64;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> own(T* reply) {
  return Reply<T>(reply, &std::free);
}

}  // namespace

struct MessengerLink::Display {
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = XCB_NONE;
  xcb_atom_t copyData = XCB_NONE;

  void close() {
    if (connection) xcb_disconnect(connection);
    connection = nullptr;
  }
};

MessengerLink::MessengerLink() : display_(std::make_unique<Display>()) {}

MessengerLink::~MessengerLink() { display_->close(); }

MessengerLink::Display* MessengerLink::display() {
  if (display_->connection && !xcb_connection_has_error(display_->connection)) return display_.get();
  display_->close();
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return nullptr;
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(name, &screenNumber);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) {
    xcb_disconnect(c);
    return nullptr;
  }
  const auto atom = own(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(kCopyDataAtom.size()), kCopyDataAtom.data()), nullptr));
  if (!atom) {
    xcb_disconnect(c);
    return nullptr;
  }
  display_->connection = c;
  display_->root = it.data->root;
  display_->copyData = atom->atom;
  return display_.get();
}

namespace {

// Windows vanish at any time; a window gone between two requests simply has
// no class and no children.
std::vector<xcb_window_t> childrenTopFirst(xcb_connection_t* c, xcb_window_t window) {
  std::vector<xcb_window_t> out;
  xcb_generic_error_t* error = nullptr;
  const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, window), &error));
  std::free(error);
  if (!tree) return out;
  const xcb_window_t* kids = xcb_query_tree_children(tree.get());
  const int n = xcb_query_tree_children_length(tree.get());
  out.reserve(static_cast<std::size_t>(n));
  // The server lists them bottom to top.
  for (int i = n - 1; i >= 0; --i) out.push_back(kids[i]);
  return out;
}

xcb_get_property_cookie_t askClass(xcb_connection_t* c, xcb_window_t window) {
  return xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kClassWords);
}

// Empty when the window has no WM_CLASS; otherwise whether it names the
// receiver as instance or class.
std::optional<bool> classMatches(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  const auto reply = own(xcb_get_property_reply(c, cookie, &error));
  std::free(error);
  if (!reply || reply->type == XCB_NONE || reply->format != 8) return std::nullopt;
  const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
  const std::string_view value(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
  std::size_t start = 0;
  for (int field = 0; field < 2 && start <= value.size(); ++field) {
    const std::size_t end = std::min(value.find('\0', start), value.size());
    if (value.substr(start, end - start) == kMessengerWindowClass) return true;
    start = end + 1;
  }
  return false;
}

// The window inside `frame` that carries WM_CLASS, searched from the top.
std::optional<std::pair<xcb_window_t, bool>> clientIn(xcb_connection_t* c, xcb_window_t frame, int depth) {
  if (depth == 0) return std::nullopt;
  for (xcb_window_t child : childrenTopFirst(c, frame)) {
    if (auto match = classMatches(c, askClass(c, child))) return std::make_pair(child, *match);
    if (auto inner = clientIn(c, child, depth - 1)) return inner;
  }
  return std::nullopt;
}

std::optional<xcb_window_t> findReceiver(xcb_connection_t* c, xcb_window_t root) {
  const std::vector<xcb_window_t> tops = childrenTopFirst(c, root);
  // One round trip for all the top-level windows' classes.
  std::vector<xcb_get_property_cookie_t> cookies;
  cookies.reserve(tops.size());
  for (xcb_window_t w : tops) cookies.push_back(askClass(c, w));
  std::optional<xcb_window_t> found;
  for (std::size_t i = 0; i < tops.size(); ++i) {
    // Every reply is collected, even after a match, so none is left queued.
    const std::optional<bool> match = classMatches(c, cookies[i]);
    if (found) continue;
    if (match) {
      if (*match) found = tops[i];
    } else if (auto client = clientIn(c, tops[i], kFrameDepth); client && client->second) {
      found = client->first;
    }
  }
  return found;
}

bool succeeded(xcb_connection_t* c, xcb_void_cookie_t cookie) {
  xcb_generic_error_t* error = xcb_request_check(c, cookie);
  std::free(error);
  return error == nullptr;
}

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

bool MessengerLink::send(std::uint64_t key, std::span<const std::uint8_t> bytes) {
  const std::lock_guard lock(mutex_);
  Display* d = display();
  if (!d) return false;
  xcb_connection_t* c = d->connection;
  const std::optional<xcb_window_t> target = findReceiver(c, d->root);
  bool sent = false;
  if (target) {
    std::vector<std::uint8_t> record;
    record.reserve(12 + bytes.size());
    putLittleEndian(record, key, 8);
    putLittleEndian(record, bytes.size(), 4);
    record.insert(record.end(), bytes.begin(), bytes.end());
    const bool stored = succeeded(c, xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, *target, d->copyData,
                                                                  d->copyData, 8, static_cast<std::uint32_t>(record.size()),
                                                                  record.data()));
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = *target;
    event.type = d->copyData;
    event.data.data32[0] = static_cast<std::uint32_t>(key);
    event.data.data32[1] = static_cast<std::uint32_t>(bytes.size());
    // With no event mask the server hands the message to the window's owner.
    const bool told = stored && succeeded(c, xcb_send_event_checked(c, 0, *target, XCB_EVENT_MASK_NO_EVENT,
                                                                    reinterpret_cast<const char*>(&event)));
    sent = stored && told;
  }
  xcb_flush(c);
  // This connection selects no events; drop whatever the server pushed anyway
  // so the queue never grows.
  while (xcb_generic_event_t* ignored = xcb_poll_for_event(c)) std::free(ignored);
  return sent;
}

}  // namespace ornivox::desktop
