#include "platform/linux/atspi_x11.hpp"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace plenk::atspi {

namespace {

// xcb reports a lost display as a connection error, never by ending the process as Xlib does.
struct Connection {
  xcb_connection_t* c = nullptr;
  xcb_window_t root = 0;
  Connection() {
    int screenNumber = 0;
    c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) return;
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
      xcb_screen_next(&it);
    if (it.rem) root = it.data->root;
  }
  ~Connection() {
    if (c) xcb_disconnect(c);
  }
  bool ok() const { return c && !xcb_connection_has_error(c) && root; }
};

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  Reply<xcb_intern_atom_reply_t> r(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(name), name), nullptr),
      &std::free);
  return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop,
                                         xcb_atom_t type, std::uint32_t longs = 4096) {
  return {xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, longs), nullptr),
          &std::free};
}

std::vector<std::uint32_t> cardinals(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop,
                                     xcb_atom_t type) {
  auto r = property(c, w, prop, type);
  if (!r || r->format != 32) return {};
  auto* data = static_cast<std::uint32_t*>(xcb_get_property_value(r.get()));
  return {data, data + xcb_get_property_value_length(r.get()) / 4};
}

std::string text(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
  auto r = property(c, w, prop, type);
  if (!r || r->format != 8) return {};
  return {static_cast<const char*>(xcb_get_property_value(r.get())),
          static_cast<std::size_t>(xcb_get_property_value_length(r.get()))};
}

} // namespace

std::optional<XDesktop> readXDesktop() {
  Connection x;
  if (!x.ok()) return std::nullopt;
  xcb_connection_t* c = x.c;
  xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
  xcb_atom_t stacking = atom(c, "_NET_CLIENT_LIST_STACKING");
  xcb_atom_t wmPid = atom(c, "_NET_WM_PID");
  xcb_atom_t wmName = atom(c, "_NET_WM_NAME");
  xcb_atom_t utf8 = atom(c, "UTF8_STRING");
  xcb_atom_t wmState = atom(c, "_NET_WM_STATE");
  xcb_atom_t hidden = atom(c, "_NET_WM_STATE_HIDDEN");

  XDesktop desktop;
  if (auto a = cardinals(c, x.root, active, XCB_ATOM_WINDOW); !a.empty() && a[0])
    desktop.active = a[0];
  for (std::uint32_t id : cardinals(c, x.root, stacking, XCB_ATOM_WINDOW)) {
    XWindow w;
    w.id = id;
    if (auto p = cardinals(c, id, wmPid, XCB_ATOM_CARDINAL); !p.empty())
      w.pid = static_cast<int>(p[0]);
    w.title = text(c, id, wmName, utf8);
    if (w.title.empty()) w.title = text(c, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    for (std::uint32_t s : cardinals(c, id, wmState, XCB_ATOM_ATOM))
      if (s == hidden) w.hidden = true;
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr),
                                      &std::free);
    Reply<xcb_translate_coordinates_reply_t> t(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, id, x.root, 0, 0), nullptr),
        &std::free);
    if (!g || !t) continue; // gone meanwhile
    w.x = t->dst_x;
    w.y = t->dst_y;
    w.width = g->width;
    w.height = g->height;
    desktop.stacking.push_back(std::move(w));
  }
  return desktop;
}

} // namespace plenk::atspi
