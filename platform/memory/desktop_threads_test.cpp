// The in-memory desktop's own threads: open answers and changes while other threads read and
// post (ThreadSanitizer runs these).
#include "platform/memory/desktop.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace plenk {
namespace {

const RunningApp EDITOR{42, "Editor", "com.example.editor", ActivationPolicy::regular,
                        "/Applications/Editor.app"};

TEST(MemoryDesktopLife, PendingOpensDoNotOutliveTheDesktop) {
  bool called = false;
  {
    MemoryDesktop desk;
    desk.setOpenAnswer("/A.app", {std::nullopt, "late", 30.0, false});
    desk.openApplication("/A.app", {}, [&](auto, auto) { called = true; });
  } // returns at once, without waiting 30 s
  EXPECT_FALSE(called);
}

// Reads, input, timed changes and open answers on several threads at once. Changes call back
// into the fakes from inside the scheduler while other threads hold the fakes' own locks: every
// change runs once, every open lands, and nothing deadlocks.
TEST(MemoryDesktopLife, ReadsInputChangesAndOpensOnManyThreads) {
  MemoryDesktop desk;
  desk.trusted = true;
  Element app = desk.addApp(EDITOR);
  Element window =
      desk.add(app, "AXWindow", {{"AXPosition", Point{0, 0}}, {"AXSize", Size{400, 300}}}, "win");
  desk.setFrontmost(42);
  desk.setAppLatency(42, 0.001); // each read advances the virtual clock
  constexpr int ROUNDS = 300;
  constexpr int OPENS = 20;
  for (int i = 0; i < ROUNDS; ++i) {
    desk.at(0.001 * i, [window](MemoryDesktop& d) { d.add(window, "AXStaticText"); });
    desk.afterKey(static_cast<std::uint16_t>(i), 0,
                  [window](MemoryDesktop& d) { d.add(window, "AXButton"); });
  }
  std::atomic<int> opened{0};
  std::thread reader([&] {
    for (int i = 0; i < ROUNDS; ++i) {
      desk.copyAttribute(window, "AXChildren");
      desk.elementAtPosition(desk.systemWide(), 10, 10);
    }
  });
  std::thread typist([&] {
    for (int i = 0; i < ROUNDS; ++i)
      desk.post(*desk.createKeyEvent(std::nullopt, static_cast<std::uint16_t>(i), true));
  });
  std::thread opener([&] {
    for (int i = 0; i < OPENS; ++i)
      desk.openApplication("/Applications/App" + std::to_string(i) + ".app", {},
                           [&](auto launched, auto) { opened += launched ? 1 : 0; });
  });
  reader.join();
  typist.join();
  opener.join();
  desk.waitForOpens();
  desk.clock().sleepMicros(1'000'000); // every timed change is due

  auto children = desk.copyAttribute(window, "AXChildren");
  ASSERT_TRUE(children.ok());
  std::map<std::string, int> roles;
  for (const auto& child : std::get<std::vector<Element>>(*children.value))
    ++roles[std::get<std::string>(*desk.copyAttribute(child, "AXRole").value)];
  EXPECT_EQ(roles, (std::map<std::string, int>{{"AXButton", ROUNDS}, {"AXStaticText", ROUNDS}}));
  EXPECT_EQ(opened, OPENS);
  EXPECT_EQ(desk.runningApplications().size(), std::size_t{OPENS + 1});
}

} // namespace
} // namespace plenk
