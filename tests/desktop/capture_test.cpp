// A capture of a real window replays in plenk-hands-sim as the desktop answered: frontmost,
// elements and read_text of the replay equal the live answers of plenk-hands. The redacted
// capture of the same window answers with texts of the same shape (length, script, spaces and
// punctuation) of which no word survives, and no capture holds the password field's value. A
// stopped application ends its capture at the deadline, and the scene says so.
#include "tests/desktop/desktop.hpp"
#include "tests/support/text_shape.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>
#include <vector>

namespace plenk {
namespace {

const std::string CAPTURE = testing::binDir() + "/plenk-hands-capture";
const std::string SIM = testing::binDir() + "/plenk-hands-sim";

// A process that a launcher handed over to, killed with the test.
struct Owned {
  int pid = -1;
  ~Owned() {
    if (pid > 1) ::kill(pid, SIGKILL);
  }
};

// Whatever was started, kept until the test ends.
struct Subject {
  std::unique_ptr<desktop::TestApp> app;
  std::unique_ptr<desktop::Browser> browser;
  std::unique_ptr<desktop::TempFolder> folder;
  std::unique_ptr<desktop::Process> launcher;
  std::unique_ptr<Owned> owned;
};

struct CaptureCase {
  const char* name;
  std::function<Subject()> start; // nothing started: the case fails
};

Subject testApp(desktop::Toolkit toolkit, const char* title) {
  Subject s;
  s.app = desktop::startApp(toolkit, {"--title", title, "--rows", "6"});
  if (s.app && !s.app->waitActive()) s.app.reset();
  return s;
}

Subject chromium() {
  Subject s;
  s.browser = desktop::Browser::start(desktop::Browser::pageUrl(12));
  if (s.browser && !desktop::waitUntil(
                       [&] {
                         return desktop::activeWindow() == s.browser->xid &&
                                desktop::windowTitle(s.browser->xid).find("Plenk Test Page") !=
                                    std::string::npos;
                       },
                       30000))
    s.browser.reset();
  return s;
}

Subject firefox() {
  Subject s;
  s.browser = desktop::Browser::startFirefox("file://" + testing::sourceDir() +
                                             "/tests/desktop/apps/document.html");
  if (s.browser && !desktop::waitUntil(
                       [&] {
                         return desktop::activeWindow() == s.browser->xid &&
                                desktop::windowTitle(s.browser->xid).find("Plenk Document") !=
                                    std::string::npos;
                       },
                       30000))
    s.browser.reset();
  return s;
}

// LibreOffice Writer (its GTK 3 plugin) on a letter.
Subject writer() {
  Subject s;
  s.folder = std::make_unique<desktop::TempFolder>();
  const std::string path = s.folder->path + "/letter.txt";
  std::ofstream(path) << "The first paragraph of the letter.\nThe second paragraph.\n";
  s.launcher = std::make_unique<desktop::Process>(std::vector<std::string>{
      "/usr/bin/libreoffice", "--norestore", "--nologo", "--writer", path});
  auto active = [] {
    auto id = desktop::activeWindow();
    return id &&
           desktop::windowTitle(*id).find("letter.txt - LibreOffice Writer") != std::string::npos;
  };
  if (desktop::waitUntil(active, 60000)) {
    s.owned = std::make_unique<Owned>();
    s.owned->pid = desktop::windowPid(*desktop::activeWindow()).value_or(-1);
  }
  return s;
}

// FeatherPad (Qt 5) on a note.
Subject featherpad() {
  Subject s;
  s.folder = std::make_unique<desktop::TempFolder>();
  const std::string path = s.folder->path + "/note.txt";
  std::ofstream(path) << "A note kept in a Qt editor.\nIts second line.\n";
  s.launcher = std::make_unique<desktop::Process>(
      std::vector<std::string>{"/usr/bin/featherpad", "--standalone", path});
  auto xid = desktop::windowOfProcess(s.launcher->pid(), 30000);
  if (xid && desktop::waitUntil([&] { return desktop::activeWindow() == xid; }, 10000)) {
    s.owned = std::make_unique<Owned>();
    s.owned->pid = s.launcher->pid();
  }
  return s;
}

bool started(const Subject& s) {
  return s.app || s.browser || (s.owned && s.owned->pid > 0);
}

Json answers(desktop::Hands& hands) {
  return {{"frontmost", hands.result("frontmost")},
          {"elements", hands.result("elements", {{"max", 250}}, 30000)},
          {"read_text", hands.result("read_text", {{"max_chars", 50000}}, 30000)}};
}

// The live answers once two in a row agree (a page or a focus may still be settling).
Json settled(desktop::Hands& hands) {
  Json last = answers(hands);
  for (int i = 0; i < 10; ++i) {
    Json next = answers(hands);
    if (next == last) return next;
    last = std::move(next);
  }
  return last;
}

// Writes a capture; the exit status of plenk-hands-capture and how long it took.
std::pair<int, double> capture(const std::string& path, const std::string& options = "") {
  auto start = std::chrono::steady_clock::now();
  int status = std::system((CAPTURE + " --out '" + path + "' " + options + " 2>/dev/null").c_str());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, seconds};
}

Json replay(const std::string& scene) {
  desktop::Hands sim({SIM, scene});
  return answers(sim);
}

using testing::shapeProblem;

// Every run of four or more letters in a text.
void wordsOf(const std::string& text, std::vector<std::string>& words) {
  std::string word;
  std::size_t letters = 0;
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  int32_t n = static_cast<int32_t>(text.size());
  for (int32_t i = 0, from = 0; i <= n; from = i) {
    UChar32 c = 0;
    if (i < n) U8_NEXT(p, i, n, c);
    if (i < n + 1 && c > 0 && u_isalpha(c)) {
      word.append(text, static_cast<std::size_t>(from), static_cast<std::size_t>(i - from));
      ++letters;
      continue;
    }
    if (letters >= 4) words.push_back(word);
    word.clear();
    letters = 0;
    if (i >= n) break;
  }
}

// The redacted replay answers as the live desktop did, every text redacted in shape.
void expectRedacted(const Json& live, const Json& redacted, const std::string& sceneTexts) {
  std::vector<std::string> words;
  auto same = [&](const std::string& a, const std::string& b) {
    EXPECT_EQ(shapeProblem(a, b), "");
    wordsOf(a, words);
  };
  EXPECT_EQ(live["frontmost"]["app"], redacted["frontmost"]["app"]);
  same(live["frontmost"].value("window", ""), redacted["frontmost"].value("window", ""));
  same(live["read_text"].value("text", ""), redacted["read_text"].value("text", ""));
  const Json& a = live["elements"]["elements"];
  const Json& b = redacted["elements"]["elements"];
  ASSERT_EQ(a.size(), b.size()) << b;
  for (std::size_t i = 0; i < a.size(); ++i) {
    Json shapeOnly = a[i], other = b[i];
    for (const char* key : {"label", "value"}) {
      same(a[i].value(key, ""), b[i].value(key, ""));
      shapeOnly.erase(key);
      other.erase(key);
    }
    EXPECT_EQ(shapeOnly, other);
  }
  EXPECT_FALSE(words.empty()) << "nothing to redact in " << live;
  for (const auto& w : words)
    EXPECT_EQ(sceneTexts.find(w), std::string::npos) << "\"" << w << "\" survived the redaction";
}

// The texts of every element of a scene, joined.
void textsOf(const Json& v, std::string& out) {
  if (v.is_object())
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (it.value().is_string() &&
          (it.key() == "title" || it.key() == "value" || it.key() == "description" ||
           it.key() == "help" || it.key() == "placeholder"))
        out += it.value().get<std::string>() + "\n";
      textsOf(it.value(), out);
    }
  if (v.is_array())
    for (const auto& e : v)
      textsOf(e, out);
}

class Capture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(Capture, ReplaysAsTheDesktopAnswered) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  Subject subject = GetParam().start();
  ASSERT_TRUE(started(subject)) << GetParam().name << " did not come up";
  desktop::TempFolder folder;
  const std::string scene = folder.path + "/scene.json", redacted = folder.path + "/redacted.json";

  desktop::Hands hands;
  // A live application can change while it is captured (Chromium's tab hover card, a late part
  // of a window on a loaded machine): a round whose desktop did not hold still is taken again, at
  // most three times. A capture that misses what stays on the screen fails every round.
  Json live, replayed, redactedReplay;
  for (int round = 0; round < 3; ++round) {
    std::filesystem::remove(scene);
    std::filesystem::remove(redacted);
    live = settled(hands);
    ASSERT_TRUE(live["elements"].is_object()) << hands.lastAnswer();
    auto [status, seconds] = capture(scene);
    ASSERT_EQ(status, 0);
    std::cout << GetParam().name << ": captured in " << seconds << " s, "
              << desktop::fileText(scene).size() << " bytes\n";
    ASSERT_EQ(capture(redacted, "--front --redact").first, 0);
    // What the captures hold is what the desktop showed before and after them.
    if (settled(hands) != live) continue;
    replayed = replay(scene);
    redactedReplay = replay(redacted);
    if (replayed == live &&
        redactedReplay["elements"]["elements"].size() == live["elements"]["elements"].size())
      break;
  }
  EXPECT_TRUE(replayed == live) << "the replay differs: " << Json::diff(live, replayed).dump();
  // An existing file is never replaced.
  EXPECT_EQ(capture(scene).first, 6);
  std::string text = desktop::fileText(redacted), texts;
  auto parsed = json::parse(text);
  ASSERT_TRUE(parsed);
  // Where a capture stopped short, it says why.
  for (const auto& app : (*parsed)["apps"])
    if (app["tree"].contains("AXCaptureCut"))
      std::cout << "redacted capture: " << app["tree"]["AXCaptureCut"] << "\n";
  textsOf(*parsed, texts);
  expectRedacted(live, redactedReplay, texts);
  EXPECT_EQ(text.find(desktop::APP_PASSWORD), std::string::npos);
  EXPECT_EQ(desktop::fileText(scene).find(desktop::APP_PASSWORD), std::string::npos);

  // A stopped application: the capture ends at its deadline and says where it stopped.
  if (!subject.app) return;
  subject.app->suspend();
  const std::string stopped = folder.path + "/stopped.json";
  auto [stoppedStatus, stoppedSeconds] = capture(stopped, "--front");
  subject.app->resume();
  EXPECT_EQ(stoppedStatus, 0);
  EXPECT_LT(stoppedSeconds, 15.0);
  auto stoppedScene = json::parse(desktop::fileText(stopped));
  ASSERT_TRUE(stoppedScene);
  std::string cut;
  for (const auto& app : (*stoppedScene)["apps"])
    if (app["pid"] == subject.app->pid()) cut = app["tree"].value("AXCaptureCut", "");
  EXPECT_NE(cut.find("did not answer"), std::string::npos) << cut;
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Capture,
    ::testing::Values(
        CaptureCase{"Gtk3", [] { return testApp(desktop::Toolkit::gtk3, "Capture 3"); }},
        CaptureCase{"Gtk4", [] { return testApp(desktop::Toolkit::gtk4, "Capture 4"); }},
        CaptureCase{"Chromium", chromium}, CaptureCase{"Firefox", firefox},
        CaptureCase{"FeatherPad", featherpad}, CaptureCase{"Writer", writer}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace plenk
