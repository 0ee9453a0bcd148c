#include "platform/linux/ewmh.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace plenk::ewmh {

namespace {

enum Atom : int {
  SUPPORTING_WM_CHECK,
  CLIENT_LIST,
  CLIENT_LIST_STACKING,
  ACTIVE_WINDOW,
  WM_PID,
  GTK_APPLICATION_ID,
  KDE_DESKTOP_FILE,
  WM_WINDOW_TYPE,
  TYPE_NORMAL,
  TYPE_DIALOG,
  WM_STATE,
  STATE_SKIP_TASKBAR,
  STATE_HIDDEN,
  WM_NAME,
  UTF8_STRING,
  STARTUP_INFO_BEGIN,
  STARTUP_INFO,
  ATOM_COUNT
};

constexpr const char* ATOM_NAMES[ATOM_COUNT] = {
    "_NET_SUPPORTING_WM_CHECK",   "_NET_CLIENT_LIST",    "_NET_CLIENT_LIST_STACKING",
    "_NET_ACTIVE_WINDOW",         "_NET_WM_PID",         "_GTK_APPLICATION_ID",
    "_KDE_NET_WM_DESKTOP_FILE",   "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE",       "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_STATE_HIDDEN",       "_NET_WM_NAME",        "UTF8_STRING",
    "_NET_STARTUP_INFO_BEGIN",    "_NET_STARTUP_INFO",
};

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// A property longer than this is not one we read (class names, ids, window lists).
constexpr std::uint32_t MAX_PROPERTY_WORDS = 65536;

xcb_get_property_cookie_t ask(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
  return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, MAX_PROPERTY_WORDS);
}

Reply<xcb_get_property_reply_t> answer(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
  if (reply && reply->type == XCB_NONE) reply.reset();
  return reply;
}

std::string text(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 8) return {};
  const char* data = static_cast<const char*>(xcb_get_property_value(reply));
  int length = xcb_get_property_value_length(reply);
  return std::string(data, static_cast<std::size_t>(std::max(length, 0)));
}

std::vector<std::uint32_t> words(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 32) return {};
  const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
  int length = xcb_get_property_value_length(reply) / 4;
  return std::vector<std::uint32_t>(data, data + std::max(length, 0));
}

int pidIn(const xcb_get_property_reply_t* reply) {
  auto pid = words(reply);
  return !pid.empty() && pid[0] > 0 && pid[0] < 0x7fffffff ? static_cast<int>(pid[0]) : 0;
}

} // namespace

Display::Display() {
  int screenNumber = 0;
  connection_ = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection_)) return;
  auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screenNumber && it.rem; ++i)
    xcb_screen_next(&it);
  if (!it.rem) return;
  root_ = it.data->root;
  xcb_intern_atom_cookie_t cookies[ATOM_COUNT];
  for (int i = 0; i < ATOM_COUNT; ++i)
    cookies[i] = xcb_intern_atom(
        connection_, 0, static_cast<std::uint16_t>(std::strlen(ATOM_NAMES[i])), ATOM_NAMES[i]);
  atoms_.assign(ATOM_COUNT, XCB_NONE);
  for (int i = 0; i < ATOM_COUNT; ++i) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection_, cookies[i], nullptr));
    if (reply) atoms_[static_cast<std::size_t>(i)] = reply->atom;
  }
}

Display::~Display() {
  if (connection_) xcb_disconnect(connection_);
}

bool Display::ok() const {
  return connection_ && !xcb_connection_has_error(connection_) && root_ != 0 &&
         std::none_of(atoms_.begin(), atoms_.end(), [](auto a) { return a == XCB_NONE; });
}

std::uint32_t Display::atom(int which) const {
  return atoms_[static_cast<std::size_t>(which)];
}

std::optional<std::vector<std::uint32_t>> Display::cardinals(Window window, std::uint32_t property,
                                                             std::uint32_t type) {
  if (!ok()) return std::nullopt;
  auto reply = answer(connection_, ask(connection_, window, property));
  if (!reply || reply->type != type) return std::nullopt;
  return words(reply.get());
}

bool Display::managed() {
  // The check window must exist and point at itself; a stale property from a window manager that
  // has gone names a window that no longer does.
  auto check = cardinals(root_, atom(SUPPORTING_WM_CHECK), XCB_ATOM_WINDOW);
  if (!check || check->empty()) return false;
  auto self = cardinals((*check)[0], atom(SUPPORTING_WM_CHECK), XCB_ATOM_WINDOW);
  return self && !self->empty() && (*self)[0] == (*check)[0];
}

std::vector<Window> Display::clients(bool stacking) {
  if (!ok()) return {};
  if (managed()) {
    auto list =
        cardinals(root_, atom(stacking ? CLIENT_LIST_STACKING : CLIENT_LIST), XCB_ATOM_WINDOW);
    return list ? *list : std::vector<Window>{};
  }
  Reply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
  if (!tree) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int count = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_property_cookie_t> classes;
  for (int i = 0; i < count; ++i) {
    attributes.push_back(xcb_get_window_attributes(connection_, children[i]));
    classes.push_back(ask(connection_, children[i], XCB_ATOM_WM_CLASS));
  }
  std::vector<Window> found;
  for (int i = 0; i < count; ++i) {
    auto ui = static_cast<std::size_t>(i);
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(connection_, attributes[ui], nullptr));
    auto cls = answer(connection_, classes[ui]);
    if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect && cls)
      found.push_back(children[i]);
  }
  return found;
}

std::vector<WindowFacts> Display::facts(const std::vector<Window>& windows) {
  if (!ok()) return {};
  // Every request first, then every reply: one round trip for the lot.
  constexpr int ASKED = 7;
  std::vector<xcb_get_property_cookie_t> cookies;
  cookies.reserve(windows.size() * ASKED);
  for (Window w : windows) {
    cookies.push_back(ask(connection_, w, atom(WM_PID)));
    cookies.push_back(ask(connection_, w, XCB_ATOM_WM_CLASS));
    cookies.push_back(ask(connection_, w, atom(GTK_APPLICATION_ID)));
    cookies.push_back(ask(connection_, w, atom(KDE_DESKTOP_FILE)));
    cookies.push_back(ask(connection_, w, atom(WM_WINDOW_TYPE)));
    cookies.push_back(ask(connection_, w, atom(WM_STATE)));
    cookies.push_back(ask(connection_, w, XCB_ATOM_WM_TRANSIENT_FOR));
  }
  std::vector<WindowFacts> out;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    Reply<xcb_get_property_reply_t> r[ASKED];
    bool gone = false;
    for (int k = 0; k < ASKED; ++k) {
      xcb_generic_error_t* error = nullptr;
      r[k].reset(xcb_get_property_reply(connection_,
                                        cookies[i * ASKED + static_cast<std::size_t>(k)], &error));
      if (error) gone = true; // BadWindow: it was destroyed while we asked
      std::free(error);
      if (r[k] && r[k]->type == XCB_NONE) r[k].reset();
    }
    if (gone) continue;
    WindowFacts f;
    f.id = windows[i];
    f.pid = pidIn(r[0].get());
    std::string cls = text(r[1].get());
    auto nul = cls.find('\0');
    f.instance = cls.substr(0, nul);
    if (nul != cls.npos) {
      std::string rest = cls.substr(nul + 1);
      f.windowClass = rest.substr(0, rest.find('\0'));
    }
    f.appId = text(r[2].get());
    if (f.appId.empty()) f.appId = text(r[3].get());
    auto types = words(r[4].get());
    auto states = words(r[5].get());
    bool transient = !words(r[6].get()).empty() && words(r[6].get())[0] != 0;
    bool skip = std::find(states.begin(), states.end(), atom(STATE_SKIP_TASKBAR)) != states.end();
    // The first type the window lists is the one it prefers; a window without one is normal,
    // unless it is transient for another (then it is a dialog).
    bool normal = types.empty() ? !transient
                                : types[0] == atom(TYPE_NORMAL) ||
                                      (types[0] == atom(TYPE_DIALOG) && !transient);
    f.taskbar = normal && !skip;
    out.push_back(std::move(f));
  }
  return out;
}

std::vector<Placement> Display::placements(const std::vector<Window>& windows) {
  if (!ok()) return {};
  // Every request first, then every reply: one round trip for the lot.
  struct Asked {
    xcb_get_property_cookie_t pid, name, oldName, state;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
  };
  std::vector<Asked> asked;
  asked.reserve(windows.size());
  for (Window w : windows)
    asked.push_back({ask(connection_, w, atom(WM_PID)), ask(connection_, w, atom(WM_NAME)),
                     ask(connection_, w, XCB_ATOM_WM_NAME), ask(connection_, w, atom(WM_STATE)),
                     xcb_get_geometry(connection_, w),
                     xcb_translate_coordinates(connection_, w, root_, 0, 0)});
  std::vector<Placement> out;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const Asked& a = asked[i];
    auto pid = answer(connection_, a.pid);
    auto name = answer(connection_, a.name);
    auto oldName = answer(connection_, a.oldName);
    auto state = answer(connection_, a.state);
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, a.geometry, nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(connection_, a.origin, nullptr));
    if (!geometry || !origin) continue; // gone meanwhile
    Placement p;
    p.id = windows[i];
    p.pid = pidIn(pid.get());
    p.title = text(name.get());
    if (p.title.empty()) p.title = text(oldName.get());
    auto states = words(state.get());
    p.hidden = std::find(states.begin(), states.end(), atom(STATE_HIDDEN)) != states.end();
    p.x = origin->dst_x;
    p.y = origin->dst_y;
    p.width = geometry->width;
    p.height = geometry->height;
    out.push_back(std::move(p));
  }
  return out;
}

std::optional<Window> Display::activeWindow() {
  if (!ok()) return std::nullopt;
  if (managed()) {
    auto active = cardinals(root_, atom(ACTIVE_WINDOW), XCB_ATOM_WINDOW);
    if (!active || active->empty() || (*active)[0] == 0) return std::nullopt;
    return (*active)[0];
  }
  Reply<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
      focus->focus == root_)
    return std::nullopt;
  // The focus may sit on a child window; its top-level window is the root's child above it.
  Window window = focus->focus;
  for (int depth = 0; depth < 64; ++depth) {
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!tree) return std::nullopt;
    if (tree->parent == root_ || tree->parent == XCB_NONE) return window;
    window = tree->parent;
  }
  return std::nullopt;
}

bool Display::requestActivation(Window window) {
  if (!ok() || !managed()) return false;
  xcb_client_message_event_t event;
  std::memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom(ACTIVE_WINDOW);
  event.data.data32[0] = 2; // source indication: a pager, which focus-stealing prevention trusts
  event.data.data32[1] = XCB_CURRENT_TIME;
  event.data.data32[2] = activeWindow().value_or(0);
  auto cookie = xcb_send_event_checked(connection_, 0, root_,
                                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                                           XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                       reinterpret_cast<const char*>(&event));
  xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
  bool sent = error == nullptr;
  std::free(error);
  return sent;
}

void Display::startupMessage(const std::string& message) {
  if (!ok()) return;
  if (own_ == 0) {
    own_ = xcb_generate_id(connection_);
    std::uint32_t values[] = {1}; // override-redirect: no window manager ever manages it
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, own_, root_, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      values);
  }
  // The message travels in pieces of 20 bytes, its final NUL included.
  std::string bytes = message;
  bytes.push_back('\0');
  for (std::size_t at = 0; at < bytes.size(); at += 20) {
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = own_;
    event.type = atom(at == 0 ? STARTUP_INFO_BEGIN : STARTUP_INFO);
    std::memcpy(event.data.data8, bytes.data() + at, std::min<std::size_t>(20, bytes.size() - at));
    xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char*>(&event));
  }
  xcb_flush(connection_);
}

} // namespace plenk::ewmh
