#include "platform/linux/sway_ipc.hpp"

#include <gtest/gtest.h>

namespace plenk::sway {
namespace {

// The shape of sway 1.7's get_tree, cut down: a tiled Wayland window with a border, a floating
// window that draws its own shadow, an XWayland window, and one in the scratchpad.
constexpr const char* TREE = R"({"type":"root","nodes":[
 {"type":"output","name":"__i3","nodes":[{"type":"workspace","name":"__i3_scratch","nodes":[],
   "floating_nodes":[{"type":"floating_con","id":9,"pid":900,"name":"Hidden","app_id":"h",
     "rect":{"x":0,"y":0,"width":10,"height":10},"window_rect":{"x":0,"y":0,"width":10,"height":10}}]}]},
 {"type":"output","name":"HEADLESS-1","nodes":[{"type":"workspace","name":"1","visible":true,
   "nodes":[{"type":"con","id":4,"pid":400,"name":"Editor","app_id":"org.example.Editor",
     "shell":"xdg_shell","focused":false,"visible":true,
     "rect":{"x":0,"y":0,"width":640,"height":800},
     "window_rect":{"x":2,"y":24,"width":636,"height":774},
     "geometry":{"x":0,"y":0,"width":636,"height":774},"nodes":[]},
    {"type":"con","id":5,"pid":500,"name":"xterm","app_id":null,"shell":"xwayland",
     "window_properties":{"class":"XTerm","instance":"xterm"},"visible":true,
     "rect":{"x":640,"y":0,"width":640,"height":800},
     "window_rect":{"x":0,"y":0,"width":640,"height":800},
     "geometry":{"x":3,"y":3,"width":640,"height":800},"nodes":[]}],
   "floating_nodes":[{"type":"floating_con","id":7,"pid":700,"name":"Dialog","app_id":"dlg",
     "shell":"xdg_shell","focused":true,"visible":true,
     "rect":{"x":100,"y":50,"width":300,"height":200},
     "window_rect":{"x":0,"y":0,"width":300,"height":200},
     "geometry":{"x":26,"y":23,"width":300,"height":200},"nodes":[]}]}]}]})";

TEST(SwayTree, WindowsWithTheirFramesBuffersFocusAndStacking) {
  auto windows = parseTree(TREE);
  ASSERT_EQ(windows.size(), 4u);
  const Window& hidden = windows[0];
  EXPECT_EQ(hidden.id, 9);
  EXPECT_FALSE(hidden.visible);

  const Window& editor = windows[1];
  EXPECT_EQ(editor.pid, 400);
  EXPECT_EQ(editor.appId, "org.example.Editor");
  // The frame is the client's area inside sway's border and title bar.
  EXPECT_EQ(editor.frame, (Box{2, 24, 636, 774}));
  EXPECT_TRUE(editor.visible);
  EXPECT_FALSE(editor.floating || editor.focused || editor.x11);

  const Window& xterm = windows[2];
  EXPECT_TRUE(xterm.x11);
  EXPECT_EQ(xterm.windowClass, "XTerm");
  EXPECT_EQ(xterm.instance, "xterm");
  EXPECT_EQ(xterm.appId, "");
  // An X11 window's geometry says nothing about AT-SPI's origin: X11 clients answer the screen's.
  EXPECT_EQ(xterm.bufferDx, 0);

  // Floating windows come after the tiled ones they cover.
  const Window& dialog = windows[3];
  EXPECT_TRUE(dialog.floating && dialog.focused);
  EXPECT_EQ(dialog.frame, (Box{100, 50, 300, 200}));
  EXPECT_EQ(dialog.bufferDx, 26);
  EXPECT_EQ(dialog.bufferDy, 23);
}

TEST(SwayTree, NoSwayAndBrokenAnswersGiveNothing) {
  EXPECT_TRUE(parseTree("").empty());
  EXPECT_TRUE(parseTree(R"({"type":"root","nodes":[{"type":"con","pid":"x"}]})").empty());
  EXPECT_EQ(request("/nonexistent/sway.sock", GET_TREE, ""), std::nullopt);
}

} // namespace
} // namespace plenk::sway
