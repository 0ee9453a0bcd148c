// Captures as the reading logic sees them: a desktop captured and written as a scene answers
// frontmost, elements and read_text as the desktop did; and the committed captures of real
// applications (tests/fixtures, redacted) answer with the shape of what those windows showed.
#include "hands/ax/capture.hpp"
#include "hands/constants.hpp"
#include "hands/verbs.hpp"
#include "platform/memory/scene.hpp"
#include "platform/memory/scene_writer.hpp"
#include "tests/support/paths.hpp"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace plenk::hands {
namespace {

Json answers(MemoryDesktop& desktop) {
  Hands hands{desktop, desktop, desktop, desktop.clock(), {}, {}};
  return {{"frontmost", verbFrontmost(hands, Json::object())},
          {"elements", verbElements(hands, {{"max", 250}})},
          {"read_text", verbReadText(hands, {{"max_chars", 50000}})}};
}

MemoryDesktop& loaded(SceneLoad& load) {
  if (!load.scene) throw std::runtime_error("scene refused: " + load.error);
  return *load.scene->desktop;
}

TEST(Capture, ASceneOfTheCaptureAnswersAsTheDesktop) {
  SceneLoad original = loadSceneFile(plenk::testing::sourceDir() + "/demo/scenes/desk.json");
  MemoryDesktop& desk = loaded(original);
  desk.trusted = true;
  desk.set(*desk.find("password"), "AXValue", std::string("hunter2-secret"));
  Hands hands{desk, desk, desk, desk.clock(), {}, {}};
  Capture capture = captureDesktop(hands, {});
  EXPECT_TRUE(capture.cuts.empty());
  std::string text = sceneText(sceneJson(capture.snapshot));
  EXPECT_EQ(text.find("hunter2-secret"), std::string::npos);
  SceneLoad replayed = loadScene(text, ".");
  ASSERT_TRUE(replayed.scene) << replayed.error << "\n" << text;
  Json live = answers(desk);
  EXPECT_EQ(answers(*replayed.scene->desktop), live);
  // The installed applications resolve alike.
  Hands again{*replayed.scene->desktop,
              *replayed.scene->desktop,
              *replayed.scene->desktop,
              replayed.scene->desktop->clock(),
              {},
              {}};
  again.appDirs = appDirsFor(replayed.scene->desktop->homeDirectory());
  hands.appDirs = appDirsFor(desk.homeDirectory());
  EXPECT_EQ(verbListApps(again, Json::object()), verbListApps(hands, Json::object()));

  // Past the walk's budget the capture stops and the scene says so.
  Element list = *desk.find("doc");
  for (int i = 0; i < MAX_VISITS; ++i)
    desk.add(list, "AXStaticText", {{"AXValue", std::string("line")}});
  Capture cut = captureDesktop(hands, {CaptureOptions::Apps::front, "", false});
  ASSERT_EQ(cut.cuts.size(), 1u);
  EXPECT_NE(cut.cuts[0].find("6000 elements were read"), std::string::npos) << cut.cuts[0];
  Json scene = sceneJson(cut.snapshot);
  EXPECT_NE(scene["apps"][0]["tree"].value(std::string(CAPTURE_CUT), "").find("focused window"),
            std::string::npos);
}

// A text with every letter as "a" and every digit as "0": what redaction keeps.
std::string shape(const std::string& s) {
  std::string out;
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  int32_t n = static_cast<int32_t>(s.size());
  for (int32_t i = 0, from = 0; i < n; from = i) {
    UChar32 c;
    U8_NEXT(p, i, n, c);
    out += u_isalpha(c) ? "a" : u_isdigit(c) ? "0" : s.substr(from, i - from);
  }
  return out;
}

std::vector<std::string> shapes(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
    lines.push_back(shape(text.substr(from, nl - from)));
  lines.push_back(shape(text.substr(from)));
  return lines;
}

std::vector<std::string> shapes(const std::vector<std::string>& texts) {
  std::vector<std::string> out;
  for (const auto& t : texts)
    out.push_back(shape(t));
  return out;
}

int recordsShaped(const Json& elements, const std::string& role, const std::string& label) {
  int count = 0;
  for (const auto& r : elements)
    count += r["role"] == role && shape(r.value("label", "")) == shape(label);
  return count;
}

Json fixture(const std::string& name) {
  SceneLoad load = loadSceneFile(plenk::testing::sourceDir() + "/tests/fixtures/" + name);
  return answers(loaded(load));
}

TEST(Capture, FirefoxOnADocument) {
  Json a = fixture("firefox-document.json");
  EXPECT_EQ(a["frontmost"]["app"]["name"], "Firefox ESR");
  EXPECT_EQ(shape(a["frontmost"]["window"]), shape("Plenk Document — Mozilla Firefox"));
  EXPECT_EQ(shapes(a["read_text"]["text"].get<std::string>()),
            shapes(std::vector<std::string>{
                "The heading of the document",
                "The first paragraph says something plain, in words a user reads.",
                "A second paragraph with", "a link inside", "and more words after it.",
                "A block that is not a paragraph still holds its own text.", "Cell one", "Cell two",
                "Your name"}));
  const Json& list = a["elements"]["elements"];
  EXPECT_EQ(recordsShaped(list, "link", "a link inside"), 1) << list;
  EXPECT_EQ(recordsShaped(list, "statictext", "and more words after it."), 1) << list;
  EXPECT_EQ(recordsShaped(list, "tab", "Plenk Document"), 1) << list;
  EXPECT_EQ(a["elements"]["truncated"], false);
}

TEST(Capture, LibreOfficeWriterOnALetter) {
  Json a = fixture("writer-letter.json");
  EXPECT_EQ(a["frontmost"]["app"]["bundle_id"], "libreoffice-writer");
  EXPECT_EQ(shape(a["frontmost"]["window"]), shape("letter.txt - LibreOffice Writer"));
  auto lines = shapes(a["read_text"]["text"].get<std::string>());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], shape("The first paragraph of the letter."));
  EXPECT_EQ(lines[2], shape("The second paragraph, with more words."));
  const Json& list = a["elements"]["elements"];
  // The menu bar comes first, as Writer shows it.
  std::vector<std::string> menus;
  for (const auto& r : list)
    if (r["role"] == "menubaritem") menus.push_back(r["label"]);
  EXPECT_EQ(shapes(menus),
            shapes(std::vector<std::string>{"File", "Edit", "View", "Insert", "Format", "Styles",
                                            "Table", "Form", "Tools", "Window", "Help"}));
  EXPECT_EQ(list[0]["role"], "menubaritem");
  EXPECT_EQ(recordsShaped(list, "statictext", "The first paragraph of the letter."), 1) << list;
}

} // namespace
} // namespace plenk::hands
