#include "platform/memory/picker.hpp"
#include "tests/support/fixtures.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <thread>

namespace plenk {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(MemoryFileTypes, KnowsConformanceAndExtensions) {
  MemoryFileTypes types;
  struct Case {
    const char* id;
    const char* to;
    bool conforms;
  };
  for (const Case& c :
       {Case{"public.jpeg", "public.image", true}, Case{"public.heic", "public.image", true},
        Case{"com.apple.m4v-video", "public.movie", true},
        Case{"com.apple.quicktime-movie", "public.data", true},
        Case{"public.jpeg", "public.movie", false},
        Case{"public.movie", "com.apple.quicktime-movie", false},
        Case{"com.adobe.pdf", "public.image", false}}) {
    SCOPED_TRACE(std::string(c.id) + " -> " + c.to);
    EXPECT_EQ(types.conforms(*types.type(c.id), *types.type(c.to)), c.conforms);
  }
  EXPECT_EQ(types.type("public.jpeg")->preferredExtension, "jpeg");
  EXPECT_EQ(types.type("com.apple.m4v-video")->preferredExtension, "m4v");
  EXPECT_FALSE(types.movie().preferredExtension);
  EXPECT_EQ(types.movie().identifier, "public.movie");
  EXPECT_EQ(types.image().identifier, "public.image");
  EXPECT_EQ(types.jpeg().identifier, "public.jpeg");
  EXPECT_FALSE(types.type("org.example.unknown"));
}

TEST(MemoryFileTypes, AddedTypesConformAndCyclesEnd) {
  MemoryFileTypes types;
  types.add("org.example.odd-movie", "odd", {"public.movie"});
  types.add("org.example.a", std::nullopt, {"org.example.b"});
  types.add("org.example.b", std::nullopt, {"org.example.a"});
  EXPECT_TRUE(types.conforms(*types.type("org.example.odd-movie"), types.movie()));
  EXPECT_FALSE(types.conforms(*types.type("org.example.a"), types.image()));
}

// A session stand-in: answers are recorded; each chosen item is loaded as its first type.
struct Recorder : PickerDelegate {
  explicit Recorder(MemoryPicker& picker) : picker(picker) {}
  void pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>> results) override {
    std::lock_guard guard(mutex);
    events.push_back("answer " + std::to_string(results.size()));
    answerThread = std::this_thread::get_id();
    providers = results;
    if (!loadEach) return;
    for (std::size_t i = 0; i < results.size(); ++i) {
      auto types = results[i]->registeredTypeIdentifiers();
      results[i]->loadFileRepresentation(types.at(0), [this, i](const auto& path) {
        std::lock_guard inner(mutex);
        events.push_back("load " + std::to_string(i));
        loaded[i] = path ? std::optional(readFile(*path)) : std::nullopt;
        if (path) tempPaths.push_back(*path);
      });
    }
  }
  void pickerWindowWillClose() override {
    std::lock_guard guard(mutex);
    events.push_back("close");
  }
  MemoryPicker& picker;
  bool loadEach = true;
  std::mutex mutex;
  std::vector<std::string> events;
  std::optional<std::thread::id> answerThread;
  std::vector<std::shared_ptr<ItemProvider>> providers;
  std::map<std::size_t, std::optional<std::string>> loaded;
  std::vector<std::string> tempPaths;
};

// Runs the picker's event loop until every load has answered.
void runToEnd(MemoryPicker& picker) {
  std::thread loop([&] { picker.run(); });
  picker.waitForLoads();
  picker.quit();
  loop.join();
}

PickerConfiguration limitOf(std::int64_t limit) {
  PickerConfiguration c;
  c.selectionLimit = limit;
  return c;
}

TEST(MemoryPicker, AnswersOnTheLoopAndLoadsElsewhereWithFilesGoneAfterwards) {
  TempDir dir;
  fs::create_directory(dir.path / "tmp");
  MemoryFileTypes types;
  MemoryPicker picker(types, (dir.path / "tmp").string());
  picker.items = {{{"public.jpeg"}, {{"public.jpeg", writeFile(dir.path / "a.jpg", "AAA")}}, {}},
                  {{"public.mpeg-4"}, {}, {}}};
  Recorder session(picker);
  picker.show(limitOf(5), PickerPresentation::sheet, {"Plenk", 900, 640}, session);
  runToEnd(picker);

  EXPECT_EQ(session.answerThread, picker.mainThread());
  for (auto id : picker.handlerThreads())
    EXPECT_NE(id, *picker.mainThread());
  ASSERT_EQ(session.loaded.size(), 2u);
  EXPECT_EQ(session.loaded[0], "AAA");
  EXPECT_FALSE(session.loaded[1]);
  ASSERT_EQ(session.tempPaths.size(), 1u);
  EXPECT_FALSE(fs::exists(session.tempPaths[0])) << "the temporary file outlived its handler";
  EXPECT_TRUE(fs::exists(dir.path / "a.jpg"));
  ASSERT_EQ(picker.loadRequests().size(), 2u);
  EXPECT_EQ(picker.loadRequests()[1].identifier, "public.mpeg-4");
  EXPECT_EQ(picker.shown()->presentation, PickerPresentation::sheet);
  EXPECT_EQ(picker.shown()->window.title, "Plenk");
}

TEST(MemoryPicker, ProviderConformanceFollowsRegisteredTypes) {
  TempDir dir;
  MemoryFileTypes types;
  MemoryPicker picker(types, dir.path.string());
  picker.items = {{{"org.example.unknown", "public.heic"}, {}, {}}};
  Recorder session(picker);
  session.loadEach = false;
  picker.show(limitOf(1), PickerPresentation::window, {}, session);
  runToEnd(picker);
  ASSERT_EQ(session.providers.size(), 1u);
  auto& item = *session.providers[0];
  EXPECT_TRUE(item.hasItemConformingTo("public.image"));
  EXPECT_TRUE(item.hasItemConformingTo("public.heic"));
  EXPECT_TRUE(item.hasItemConformingTo("org.example.unknown"));
  EXPECT_FALSE(item.hasItemConformingTo("public.movie"));
  EXPECT_FALSE(item.hasItemConformingTo("public.jpeg"));
}

TEST(MemoryPicker, EachLoadGetsTheFileOfTheTypeAskedFor) {
  TempDir dir;
  fs::create_directory(dir.path / "tmp");
  MemoryFileTypes types;
  MemoryPicker picker(types, (dir.path / "tmp").string());
  picker.items = {{{"public.heic", "public.jpeg", "public.png"},
                   {{"public.heic", writeFile(dir.path / "a.heic", "HEIC")},
                    {"public.jpeg", writeFile(dir.path / "a.jpg", "JPEG")}},
                   {}}};
  Recorder session(picker);
  session.loadEach = false;
  picker.show(limitOf(1), PickerPresentation::window, {}, session);
  runToEnd(picker);
  ASSERT_EQ(session.providers.size(), 1u);
  // Loads made outside the event loop's scripted events answer at once, on their own threads.
  struct Case {
    const char* asked;
    std::optional<std::string> got;
  };
  for (const Case& c :
       {Case{"public.jpeg", "JPEG"}, Case{"public.heic", "HEIC"}, Case{"public.image", "HEIC"},
        Case{"public.png", std::nullopt}, Case{"public.movie", std::nullopt}}) {
    SCOPED_TRACE(c.asked);
    std::promise<std::optional<std::string>> got;
    session.providers[0]->loadFileRepresentation(c.asked, [&](const auto& path) {
      got.set_value(path ? std::optional(readFile(*path)) : std::nullopt);
    });
    EXPECT_EQ(got.get_future().get(), c.got);
  }
}

TEST(MemoryPicker, EndingsAndTheLimit) {
  struct Case {
    const char* name;
    MemoryPickEnding ending;
    bool closeAfter;
    std::int64_t limit;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"answer within the limit",
       MemoryPickEnding::answer,
       false,
       2,
       {"answer 2", "load 0", "load 1"}},
      {"cancel", MemoryPickEnding::cancel, false, 8, {"answer 0"}},
      {"close before answering", MemoryPickEnding::closeWindow, false, 8, {"close"}},
      {"never answers", MemoryPickEnding::never, false, 8, {}},
      // The close comes while the loads are still held back.
      {"close while loading", MemoryPickEnding::answer, true, 1, {"answer 1", "close", "load 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    MemoryFileTypes types;
    MemoryPicker picker(types, dir.path.string());
    std::string file = writeFile(dir.path / "x.jpg", "x");
    MemoryPickItem item{{"public.jpeg"}, {{"public.jpeg", file}}, {}};
    picker.items = {item, item, item};
    picker.ending = c.ending;
    picker.closeAfterAnswer = c.closeAfter;
    Recorder session(picker);
    picker.show(limitOf(c.limit), PickerPresentation::window, {}, session);
    runToEnd(picker);
    EXPECT_EQ(session.events, c.events);
  }
}

TEST(MemoryPicker, OneByOneAnswersInRankOrder) {
  TempDir dir;
  MemoryFileTypes types;
  MemoryPicker picker(types, dir.path.string());
  std::string file = writeFile(dir.path / "x.mov", "x");
  MemoryPickItem item{{"public.jpeg"}, {{"public.jpeg", file}}, {}};
  picker.items = {item, item, item};
  picker.items[0].rank = 2;
  picker.items[1].rank = 0;
  picker.items[2].rank = 1;
  Recorder session(picker);
  picker.show(limitOf(3), PickerPresentation::window, {}, session);
  runToEnd(picker);
  EXPECT_EQ(session.events, (std::vector<std::string>{"answer 3", "load 1", "load 2", "load 0"}));
  EXPECT_EQ(picker.mostAtOnce(), 1);
}

TEST(MemoryPicker, TogetherRunsHandlersAtTheSameTime) {
  TempDir dir;
  MemoryFileTypes types;
  MemoryPicker picker(types, dir.path.string());
  picker.timing = MemoryLoadTiming::together;
  const int n = 6;
  for (int i = 0; i < n; ++i)
    picker.items.push_back({{"public.jpeg"}, {}, {}});

  // Every handler waits until all have entered: one at a time would never get there.
  struct Meeting : PickerDelegate {
    void pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>> results) override {
      for (auto& r : results)
        r->loadFileRepresentation("public.jpeg", [this](const auto&) {
          std::unique_lock lock(mutex);
          ++arrived;
          met.notify_all();
          if (!met.wait_for(lock, std::chrono::seconds(20), [&] { return arrived == n; }))
            timedOut = true;
        });
    }
    void pickerWindowWillClose() override {}
    std::mutex mutex;
    std::condition_variable met;
    int arrived = 0;
    bool timedOut = false;
  } session;
  picker.show(limitOf(n), PickerPresentation::modal, {}, session);
  runToEnd(picker);
  EXPECT_FALSE(session.timedOut);
  EXPECT_EQ(picker.mostAtOnce(), n);
}

TEST(MemoryPicker, HidingIsRecorded) {
  TempDir dir;
  MemoryFileTypes types;
  MemoryPicker picker(types, dir.path.string());
  Recorder session(picker);
  EXPECT_FALSE(picker.shown());
  picker.show(limitOf(1), PickerPresentation::window, {}, session);
  EXPECT_FALSE(picker.hidden());
  picker.hide();
  EXPECT_TRUE(picker.hidden());
  EXPECT_EQ(picker.showCount(), 1);
}

} // namespace
} // namespace plenk
