// A long session on the simulated desktop, built as plenk-hands-sim builds it (a scene, recording
// off): its live heap stays flat however many requests it answers.
#include "hands/dispatch.hpp"
#include "platform/memory/scene.hpp"

#include <gtest/gtest.h>
#include <malloc.h>
#include <mutex>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PLENK_SANITIZER_HEAP 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PLENK_SANITIZER_HEAP 1
#endif
#ifdef PLENK_SANITIZER_HEAP
// From the sanitizer's runtime (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace plenk::hands {
namespace {

// Bytes allocated and not yet freed. Not the resident size: a sanitizer keeps freed blocks in
// quarantine, which would make any busy process look as if it grew.
std::size_t liveHeap() {
#ifdef PLENK_SANITIZER_HEAP
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

constexpr const char* SCENE = R"({
  "permissions": {"accessibility": true, "screen": true},
  "apps": [{"pid": 501, "name": "Login", "bundle_id": "com.example.Login",
            "bundle_path": "/Applications/Login.app",
            "tree": {"AXFocusedWindow": "form", "children": [
              {"id": "form", "role": "AXWindow", "title": "Sign in", "frame": [0, 0, 400, 600],
               "children": [
                 {"id": "user", "role": "AXTextField", "title": "User name",
                  "frame": [20, 400, 200, 24]},
                 {"id": "list", "role": "AXList", "frame": [20, 100, 300, 250],
                  "children": [{"repeat": 20, "element": {"role": "AXStaticText",
                                "value": "row {i}", "frame": [20, 100, 300, 12]},
                                "step": [0, 12]}]}]}]}}],
  "bundles": [{"path": "/Applications/Login.app", "bundle_id": "com.example.Login"}],
  "focus": "user"
})";

TEST(LongSession, HundredThousandRequestsKeepTheHeapFlat) {
  SceneLoad load = loadScene(SCENE, "");
  ASSERT_TRUE(load.scene) << load.error;
  MemoryDesktop& desktop = *load.scene->desktop;
  desktop.keepCalls(false);
  Hands hands{desktop, desktop, desktop, desktop.clock(), [](auto task) { task(); }, {}};

  // Requests that read the tree, post input and ask the workspace: together they reach every
  // fake and the thread that answers opens.
  const std::vector<std::pair<std::string, Json>> requests = {
      {"key", {{"key", "return"}}},      {"click", {{"x", 30}, {"y", 410}}},
      {"type", {{"text", "hello"}}},     {"scroll", {{"dy", -3}}},
      {"frontmost", Json::object()},     {"activate", {{"pid", 501}}},
      {"open_app", {{"name", "Login"}}},
  };
  // open_app answers on the desktop's own thread.
  std::mutex mutex;
  std::size_t failed = 0;
  std::string firstFailure;
  auto run = [&](int count) {
    for (int i = 0; i < count; ++i) {
      const auto& request = requests[static_cast<std::size_t>(i) % requests.size()];
      const std::string& verb = request.first;
      dispatchVerb(hands, verb, request.second,
                   [&](std::optional<Json>, std::optional<HandsError> error) {
                     std::lock_guard lock(mutex);
                     if (error && failed++ == 0) firstFailure = verb + ": " + error->message;
                   });
    }
    desktop.waitForOpens();
  };

  run(10'000);
  std::size_t early = liveHeap();
  run(90'000);
  std::size_t late = liveHeap();
  std::lock_guard lock(mutex);
  EXPECT_EQ(failed, 0u) << firstFailure;
  // Keeping one small record per request would add megabytes; allocator noise stays far below.
  EXPECT_LT(late, early + (std::size_t{1} << 20))
      << "live heap after 10,000 requests " << early << " bytes, after 100,000 " << late;
}

} // namespace
} // namespace plenk::hands
