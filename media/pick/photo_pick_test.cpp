#include "media/pick/photo_pick.hpp"
#include "platform/memory/picker.hpp"
#include "tests/support/fixtures.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace plenk::media {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A session over the in-memory picker whose copies store {"file": name} when a file came and
// note "lost <name>" when none did.
struct Session {
  Session() : picker(types, dir.path.string()) {
    std::ofstream(dir.path / "item.bin") << "bytes";
    file = (dir.path / "item.bin").string();
  }

  std::shared_ptr<PhotoPick> session() {
    auto copy = [](const PickJob& job, std::weak_ptr<PhotoPick> weak) {
      job.provider->loadFileRepresentation(job.typeId, [weak, job](const auto& path) {
        auto s = weak.lock();
        if (!s) return;
        if (path)
          s->store(job.index, Json{{"file", job.name}});
        else
          s->addNote("lost " + job.name);
        s->countDown();
      });
    };
    auto answer = [this](const Json& result) {
      std::lock_guard guard(mutex);
      answers.push_back(result);
    };
    return std::make_shared<PhotoPick>("/out", picker, types, answer, copy);
  }

  // Shows the picker, runs its event loop until every load has answered, gives the answers.
  std::vector<Json> pick() {
    auto s = session();
    PickerConfiguration config;
    config.selectionLimit = 20;
    picker.show(config, PickerPresentation::window, {}, *s);
    std::thread loop([&] { picker.run(); });
    picker.waitForLoads();
    picker.quit();
    loop.join();
    return answers;
  }

  MemoryPickItem photo(std::optional<int> rank = std::nullopt) {
    return {{"public.heic", "public.jpeg"}, {{"public.jpeg", file}}, rank};
  }
  MemoryPickItem video(std::optional<int> rank = std::nullopt) {
    return {{"com.apple.quicktime-movie"}, {{"com.apple.quicktime-movie", file}}, rank};
  }

  TempDir dir;
  MemoryFileTypes types;
  std::mutex mutex;
  std::vector<Json> answers;
  // Last: its load threads are joined before anything they touch goes away.
  MemoryPicker picker;
  std::string file;
};

Json answer(bool cancelled, Json items, Json notes) {
  auto count = items.size();
  return Json{{"ok", true},
              {"cancelled", cancelled},
              {"items", std::move(items)},
              {"notes", std::move(notes)},
              {"count", count}};
}

TEST(PhotoPick, EndsCancelledOrWithNothingChosen) {
  struct Case {
    const char* name;
    MemoryPickEnding ending;
    int neither;
    Json expected;
  };
  const Json none = Json::array();
  const std::string note = NOTE_NEITHER;
  const std::vector<Case> cases = {
      {"cancel", MemoryPickEnding::cancel, 0, answer(true, none, none)},
      {"close before choosing", MemoryPickEnding::closeWindow, 0, answer(true, none, none)},
      {"only neither", MemoryPickEnding::answer, 2, answer(false, none, Json{note, note})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Session run;
    for (int i = 0; i < c.neither; ++i)
      run.picker.items.push_back({{"com.adobe.pdf"}, {{"com.adobe.pdf", run.file}}, {}});
    run.picker.ending = c.ending;
    auto answers = run.pick();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], c.expected);
    EXPECT_TRUE(run.picker.loadRequests().empty());
  }
}

TEST(PhotoPick, NumbersByKindAndListsInPickOrder) {
  Session run;
  // The video answers last; an item offering a movie and an image counts as a video.
  run.picker.items = {run.photo(0),
                      run.video(9),
                      {{"com.adobe.pdf"}, {}, {}},
                      {{"public.jpeg", "public.mpeg-4"}, {{"public.mpeg-4", run.file}}, 1},
                      run.photo(2)};
  auto answers = run.pick();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0], answer(false,
                               Json{{{"file", "photo-001.jpg"}},
                                    {{"file", "video-001.mov"}},
                                    {{"file", "video-002.mp4"}},
                                    {{"file", "photo-002.jpg"}}},
                               Json{NOTE_NEITHER}));
  auto loads = run.picker.loadRequests();
  ASSERT_EQ(loads.size(), 4u);
  EXPECT_EQ(loads[0].identifier, "public.jpeg");
  EXPECT_EQ(loads[1].identifier, "com.apple.quicktime-movie");
  EXPECT_EQ(loads[2].identifier, "public.mpeg-4");
  EXPECT_TRUE(run.picker.hidden());
}

TEST(PhotoPick, ClosingWhileCopyingChangesNothing) {
  Session run;
  run.picker.items = {run.photo(), {{"public.jpeg"}, {}, {}}, run.video()};
  run.picker.closeAfterAnswer = true;
  auto answers = run.pick();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0],
            answer(false, Json{{{"file", "photo-001.jpg"}}, {{"file", "video-001.mov"}}},
                   Json{"lost photo-002.jpg"}));
}

TEST(PhotoPick, FinishWritesOnceWhateverCallsIt) {
  Session run;
  auto s = run.session();
  s->finish(false);
  s->finish(true);
  s->pickerWindowWillClose();
  ASSERT_EQ(run.answers.size(), 1u);
  EXPECT_FALSE(run.answers[0]["cancelled"]);
}

TEST(PhotoPick, ManyLoadsTogetherGiveOneCompleteAnswer) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    Session run;
    run.picker.timing = MemoryLoadTiming::together;
    std::mt19937 random(static_cast<unsigned>(round));
    for (int i = 0; i < 20; ++i) {
      auto item = (random() % 2) ? run.photo() : run.video();
      if (random() % 5 == 0) item.files.clear();
      run.picker.items.push_back(item);
    }
    auto answers = run.pick();
    ASSERT_EQ(answers.size(), 1u);
    const Json& a = answers[0];
    EXPECT_EQ(a["count"].get<std::size_t>() + a["notes"].size(), 20u);
    // Pick order: photographs and videos each numbered upwards.
    int lastPhoto = 0, lastVideo = 0;
    for (const auto& item : a["items"]) {
      std::string name = item["file"];
      int n = std::stoi(name.substr(6, 3));
      int& last = name.starts_with("photo") ? lastPhoto : lastVideo;
      EXPECT_GT(n, last) << name;
      last = n;
    }
  }
}

} // namespace
} // namespace plenk::media
