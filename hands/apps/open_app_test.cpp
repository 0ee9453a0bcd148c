#include "hands/apps/apps_test_support.hpp"
#include "hands/channel.hpp"
#include "hands/dispatch.hpp"

#include <chrono>
#include <deque>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace plenk::hands {
namespace {

using testing::app;
using testing::AppsTest;

// What dispatch handed the completion, and on which thread.
struct Outcome {
  std::optional<Json> result;
  std::optional<HandsError> error;
  std::thread::id thread;
};

// Main-thread tasks wait in a queue that the test runs, as the request loop would.
struct OpenApp : AppsTest {
  std::deque<std::function<void()>> mainTasks;
  std::mutex lock;
  std::vector<Outcome> outcomes;

  OpenApp() {
    hands.postToMain = [this](std::function<void()> task) {
      std::lock_guard hold(lock);
      mainTasks.push_back(std::move(task));
    };
    desktop.addBundle("/Applications/Keynote.app", "com.apple.iWork.Keynote");
  }
  void send(std::string_view verb, const Json& args) {
    dispatchVerb(
        hands, verb, args, [this](std::optional<Json> result, std::optional<HandsError> error) {
          outcomes.push_back({std::move(result), std::move(error), std::this_thread::get_id()});
        });
  }
  void runMainTasks() {
    desktop.waitForOpens();
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard hold(lock);
        if (mainTasks.empty()) return;
        task = std::move(mainTasks.front());
        mainTasks.pop_front();
      }
      task();
    }
  }
  // The one outcome of a failing open of the bundle answering `answer`.
  std::string failureOf(const std::string& path, OpenAnswer answer) {
    desktop.addBundle(path, std::nullopt);
    desktop.setOpenAnswer(path, std::move(answer));
    outcomes.clear();
    send("open_app", {{"name", appNameOf(path)}});
    runMainTasks();
    EXPECT_EQ(outcomes.size(), 1u);
    if (outcomes.size() != 1 || !outcomes[0].error) return "";
    EXPECT_EQ(outcomes[0].error->code, "helper_failed");
    return outcomes[0].error->message;
  }
  static std::string appNameOf(const std::string& path) {
    return std::filesystem::path(path).stem().string();
  }
};

TEST_F(OpenApp, AnswersOnTheMainThreadAfterTheSystemDoes) {
  OpenAnswer answer;
  answer.app = app(700, "Keynote Pro", "com.apple.iWork.Keynote", "/Applications/Keynote.app");
  answer.held = true;
  desktop.setOpenAnswer("/Applications/Keynote.app", answer);

  send("open_app", {{"name", "keynote"}});
  EXPECT_TRUE(outcomes.empty());
  EXPECT_EQ(desktop.opened(), std::vector<std::string>{"/Applications/Keynote.app"});

  // A later request is answered first.
  send("probe", Json::object());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].result->at("helper"), "plenk-hands");

  desktop.deliverHeldOpens();
  desktop.waitForOpens();
  EXPECT_EQ(outcomes.size(), 1u) << "the platform's thread must only post";
  runMainTasks();
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[1].thread, std::this_thread::get_id());
  EXPECT_FALSE(outcomes[1].error);
  // The display name and real pid of what runs, not the resolved name.
  EXPECT_EQ(
      *outcomes[1].result,
      (Json{{"app",
             {{"name", "Keynote Pro"}, {"bundle_id", "com.apple.iWork.Keynote"}, {"pid", 700}}}}));
  // Opened with activation: it is in front now.
  EXPECT_EQ(desktop.frontmostApplication()->pid, 700);
}

TEST_F(OpenApp, AnAppThatRunsAlreadyAnswersWithItsOwnRecord) {
  desktop.addApp(app(55, "Keynote", "com.apple.iWork.Keynote", "/Applications/Keynote.app"));
  send("open_app", {{"name", "com.apple.iWork.Keynote"}});
  runMainTasks();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].result->at("app"),
            (Json{{"name", "Keynote"}, {"bundle_id", "com.apple.iWork.Keynote"}, {"pid", 55}}));
}

TEST_F(OpenApp, AnAppThatCameWithAnErrorStillAnswers) {
  OpenAnswer answer;
  answer.app = app(701, "Keynote", std::nullopt);
  answer.error = "Something went half wrong.";
  desktop.setOpenAnswer("/Applications/Keynote.app", answer);
  send("open_app", {{"name", "Keynote"}});
  runMainTasks();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].result->at("app"),
            (Json{{"name", "Keynote"}, {"bundle_id", ""}, {"pid", 701}}));
}

TEST_F(OpenApp, FailureMessagesNameTheResolvedApp) {
  EXPECT_EQ(
      failureOf("/Applications/Bare.app", {std::nullopt, "The application is damaged.", 0, false}),
      "Bare did not open: The application is damaged.");
  EXPECT_EQ(failureOf("/Applications/Ghost.app", {std::nullopt, std::nullopt, 0, false}),
            "Ghost did not open: macOS did not open it.");
  // An empty description says nothing either.
  EXPECT_EQ(failureOf("/Applications/Mute.app", {std::nullopt, "", 0, false}),
            "Mute did not open: macOS did not open it.");
}

TEST_F(OpenApp, RefusedOrUnknownNamesAnswerAtOnceAndOpenNothing) {
  send("open_app", Json::object());
  send("open_app", {{"name", "Nothing Here"}});
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].error->code, "bad_args");
  EXPECT_EQ(outcomes[0].error->message, "Name an app, like Keynote or com.apple.iWork.Keynote.");
  EXPECT_EQ(outcomes[1].error->code, "not_found");
  EXPECT_EQ(outcomes[1].error->message, "There is no app called Nothing Here on this Mac.");
  EXPECT_TRUE(desktop.opened().empty());
  EXPECT_TRUE(mainTasks.empty());
}

// A workspace over the in-memory one that misbehaves on purpose.
struct Misbehaving : Workspace {
  MemoryDesktop& d;
  bool throwOnListing = false;
  bool answerTwice = false;
  explicit Misbehaving(MemoryDesktop& desktop) : d(desktop) {}
  std::vector<RunningApp> runningApplications() override {
    if (throwOnListing) throw std::runtime_error("listing broke");
    return d.runningApplications();
  }
  std::optional<RunningApp> frontmostApplication() override { return d.frontmostApplication(); }
  std::optional<RunningApp> runningApplication(int pid) override {
    return d.runningApplication(pid);
  }
  bool activate(int pid) override { return d.activate(pid); }
  void openApplication(const std::string& path, const OpenConfiguration& config,
                       OpenHandler handler) override {
    if (answerTwice) handler(std::nullopt, "first");
    d.openApplication(path, config, std::move(handler));
  }
  std::optional<std::string> applicationPathForBundleId(const std::string& id) override {
    return d.applicationPathForBundleId(id);
  }
  std::optional<std::string> bundleIdentifier(const std::string& path) override {
    return d.bundleIdentifier(path);
  }
  std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override {
    return d.contentsOfDirectory(path);
  }
  std::string homeDirectory() override { return d.homeDirectory(); }
};

TEST_F(OpenApp, AHandlerCalledTwiceGivesOneAnswer) {
  Misbehaving workspace(desktop);
  workspace.answerTwice = true;
  Hands twice{desktop, desktop, workspace, clock, hands.postToMain, {}, hands.appDirs};
  dispatchVerb(twice, "open_app", {{"name", "Keynote"}},
               [this](std::optional<Json> result, std::optional<HandsError> error) {
                 outcomes.push_back({std::move(result), std::move(error), {}});
               });
  runMainTasks();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].error->message, "Keynote did not open: first");
}

TEST_F(OpenApp, AnUnexpectedFailureWhileResolvingIsHelperFailed) {
  Misbehaving workspace(desktop);
  workspace.throwOnListing = true;
  Hands broken{desktop, desktop, workspace, clock, hands.postToMain, {}, hands.appDirs};
  dispatchVerb(broken, "open_app", {{"name", "Keynote"}},
               [this](std::optional<Json> result, std::optional<HandsError> error) {
                 outcomes.push_back({std::move(result), std::move(error), {}});
               });
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].error->code, "helper_failed");
  EXPECT_EQ(outcomes[0].error->message, "The app could not be found.");
  EXPECT_TRUE(desktop.opened().empty());
}

TEST_F(OpenApp, WithoutAWayBackToTheMainThreadNothingIsOpened) {
  hands.postToMain = nullptr;
  send("open_app", {{"name", "Keynote"}});
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].error->code, "helper_failed");
  EXPECT_TRUE(desktop.opened().empty());
}

// ---- through the request loop

// The request loop on pipes, on a thread of its own.
struct Loop {
  int in[2], out[2], err[2];
  std::thread thread;
  std::string pending;
  explicit Loop(Hands& hands) {
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    thread = std::thread([&hands, this] { runHands(hands, in[0], out[1], err[1]); });
  }
  ~Loop() {
    if (in[1] >= 0) close(in[1]);
    thread.join();
    for (int fd : {in[0], out[0], out[1], err[0], err[1]})
      close(fd);
  }
  void send(const std::string& line) {
    std::string bytes = line + "\n";
    EXPECT_EQ(write(in[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // The next answer line, or null after five seconds without one.
  Json next() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
      if (auto nl = pending.find('\n'); nl != std::string::npos) {
        auto line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        return json::parse(line).value_or(Json());
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd fd{out[0], POLLIN, 0};
      if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return Json();
      char buffer[4096];
      ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) return Json();
      pending.append(buffer, static_cast<std::size_t>(n));
    }
  }
};

TEST(OpenAppLoop, ALaterProbeIsAnsweredFirstAndTheHomeFolderIsReadOnce) {
  HandsFixture f;
  f.desktop.setHome("/Users/ann");
  f.desktop.addBundle("/Users/ann/Applications/Keynote.app", "com.apple.iWork.Keynote");
  OpenAnswer held;
  held.app = app(800, "Keynote", "com.apple.iWork.Keynote", "/Users/ann/Applications/Keynote.app");
  held.held = true;
  f.desktop.setOpenAnswer("/Users/ann/Applications/Keynote.app", held);
  {
    Loop loop(f.hands);
    loop.send(R"({"id":1,"verb":"open_app","args":{"name":"Keynote"}})");
    loop.send(R"({"id":2,"verb":"probe"})");
    Json first = loop.next();
    EXPECT_EQ(first["id"], 2);
    EXPECT_EQ(first["ok"], true);
    f.desktop.deliverHeldOpens();
    Json second = loop.next();
    EXPECT_EQ(second["id"], 1);
    EXPECT_EQ(second["result"]["app"]["name"], "Keynote");
    loop.send(R"({"id":3,"verb":"resolve_app","args":{"name":"keynote"}})");
    EXPECT_EQ(loop.next()["result"]["app"]["bundle_id"], "com.apple.iWork.Keynote");
  }
  EXPECT_EQ(f.desktop.count("homeDirectory"), 1);
  EXPECT_EQ(f.hands.appDirs, appDirsFor("/Users/ann"));
}

} // namespace
} // namespace plenk::hands
