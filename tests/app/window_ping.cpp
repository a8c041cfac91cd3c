// Asks a running program, from outside it, whether its window's thread
// answers: the window manager's ping (_NET_WM_PING), which the toolkit
// answers from the thread that runs the window's events, so a busy or stuck
// UI thread shows as a late answer or none.
//
//   window_ping <pid> [interval-ms]
//
// Waits up to 30 s for a viewable top-level window of <pid> that takes the
// ping, prints "window <id>", then pings it every interval (250 ms) and
// prints one line per ping: the answer's delay in milliseconds, or "lost"
// when none came within 5 s. Ends on stdin's end or SIGTERM; exits 2 when it
// finds no window or loses the X server.
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  Reply<xcb_intern_atom_reply_t> r(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<uint32_t> cardinals(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
  Reply<xcb_get_property_reply_t> r(
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 64), nullptr), &std::free);
  if (!r || r->format != 32) return {};
  const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
  return {data, data + xcb_get_property_value_length(r.get()) / 4};
}

struct Atoms {
  xcb_atom_t pid, protocols, ping;
};

// A window of `pid` that is shown and takes the ping, at most two levels
// under the root (a reparenting window manager puts a frame between).
xcb_window_t findWindow(xcb_connection_t* c, xcb_window_t parent, uint32_t pid, const Atoms& a, int depth) {
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr), &std::free);
  if (!tree) return XCB_WINDOW_NONE;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    const xcb_window_t w = children[i];
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr), &std::free);
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
    const auto pids = cardinals(c, w, a.pid, XCB_ATOM_CARDINAL);
    const auto protocols = cardinals(c, w, a.protocols, XCB_ATOM_ATOM);
    bool pings = false;
    for (uint32_t p : protocols) pings = pings || p == a.ping;
    if (!pids.empty() && pids[0] == pid && pings) return w;
    if (depth > 0) {
      if (const xcb_window_t inner = findWindow(c, w, pid, a, depth - 1)) return inner;
    }
  }
  return XCB_WINDOW_NONE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_ping <pid> [interval-ms]\n");
    return 2;
  }
  const auto pid = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const auto interval = std::chrono::milliseconds(argc > 2 ? std::atoi(argv[2]) : 250);
  int screenNumber = 0;
  const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(xcb_connect(nullptr, &screenNumber),
                                                                                &xcb_disconnect);
  xcb_connection_t* c = connection.get();
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "window_ping: no X server\n");
    return 2;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;
  const Atoms atoms{atom(c, "_NET_WM_PID"), atom(c, "WM_PROTOCOLS"), atom(c, "_NET_WM_PING")};

  // The answer goes to the root window for its structure listeners.
  const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);

  xcb_window_t window = XCB_WINDOW_NONE;
  for (const auto give_up = Clock::now() + 30s; window == XCB_WINDOW_NONE && Clock::now() < give_up;) {
    window = findWindow(c, root, pid, atoms, 1);
    if (window == XCB_WINDOW_NONE) ::poll(nullptr, 0, 100);
  }
  if (window == XCB_WINDOW_NONE) {
    std::fprintf(stderr, "window_ping: no window of process %u takes the ping\n", pid);
    return 2;
  }
  std::printf("window %u\n", window);
  std::fflush(stdout);

  const int xfd = xcb_get_file_descriptor(c);
  for (uint32_t serial = 1;; ++serial) {
    xcb_client_message_event_t ping{};
    ping.response_type = XCB_CLIENT_MESSAGE;
    ping.format = 32;
    ping.window = window;
    ping.type = atoms.protocols;
    ping.data.data32[0] = atoms.ping;
    ping.data.data32[1] = serial;  // stands in for the time stamp; the answer echoes it
    ping.data.data32[2] = window;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
    xcb_flush(c);
    const auto sent = Clock::now();
    const auto lostAt = sent + 5s;
    bool answered = false;
    while (!answered && Clock::now() < lostAt) {
      pollfd fds[2] = {{xfd, POLLIN, 0}, {0, POLLIN, 0}};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lostAt - Clock::now()).count();
      ::poll(fds, 2, static_cast<int>(left > 0 ? left : 0));
      if (fds[1].revents != 0) {
        char byte;
        if (::read(0, &byte, 1) <= 0) return 0;
      }
      while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
          const auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
          answered = answered || (m->type == atoms.protocols && m->data.data32[0] == atoms.ping &&
                                  m->data.data32[1] == serial && m->data.data32[2] == window);
        }
        std::free(event);
      }
      if (xcb_connection_has_error(c)) return 2;
    }
    if (answered) {
      std::printf("%lld\n", static_cast<long long>(
                                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count()));
    } else {
      std::printf("lost\n");
    }
    std::fflush(stdout);
    const auto next = sent + interval;
    if (Clock::now() < next) {
      pollfd in{0, POLLIN, 0};
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
      if (::poll(&in, 1, static_cast<int>(wait)) > 0) {
        char byte;
        if (::read(0, &byte, 1) <= 0) return 0;
      }
    }
  }
}
