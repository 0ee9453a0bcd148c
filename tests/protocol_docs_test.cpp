// The examples of docs/hands-protocol.md and docs/media-protocol.md, run against the built
// programs: a document that no longer says what the programs do fails here.
//
// A ```hands block is a conversation with plenk-hands-sim over a scene in docs/examples/
// (hands-scene.json unless the fence says scene=NAME): "→ " lines are requests, sent one at a time,
// each followed by the "← " answers it must give (compared as JSON values; indented lines continue
// an answer). A ```media block is a series of plenk-media runs in one working folder holding the
// fixtures below and an empty folder "out": "$ plenk-media ARGS", the exact standard output line
// ("…" stands for any one JSON number, string or null), "stderr: LINE" (none means an empty
// standard error), "exit: N", and "out: NAMES" for what the folder "out" then holds. Lines that
// start with "#" are notes for the reader.
#include "hands/constants.hpp"
#include "media/frame/constants.hpp"
#include "platform/json.hpp"
#include "tests/pipes.hpp"
#include "tests/support/documents.hpp"
#include "tests/support/fixtures.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/recording_fixtures.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <set>

namespace plenk {
namespace {

namespace fs = std::filesystem;

struct Block {
  std::string kind; // "hands" or "media"
  std::string scene;
  int line = 0; // of the opening fence
  std::vector<std::string> lines;
};

std::vector<Block> blocksOf(const std::string& doc) {
  std::ifstream in(testing::sourceDir() + "/docs/" + doc);
  EXPECT_TRUE(in) << "cannot read docs/" << doc;
  std::vector<Block> blocks;
  std::string line;
  std::optional<Block> open;
  for (int number = 1; std::getline(in, line); ++number) {
    if (open) {
      if (line == "```") {
        blocks.push_back(std::move(*open));
        open.reset();
      } else {
        open->lines.push_back(line);
      }
      continue;
    }
    if (!line.starts_with("```hands") && !line.starts_with("```media")) continue;
    Block b{line.substr(3, 5), "hands-scene.json", number, {}};
    if (auto at = line.find("scene="); at != std::string::npos) b.scene = line.substr(at + 6);
    open = std::move(b);
  }
  EXPECT_FALSE(open) << doc << ":" << open->line << ": a block that never ends";
  return blocks;
}

std::string where(const std::string& doc, const Block& b) {
  return doc + ":" + std::to_string(b.line);
}

// ---- plenk-hands ----------------------------------------------------------------------------

const std::string ARROW_IN = "→ ";
const std::string ARROW_OUT = "← ";

struct Exchange {
  std::string request;
  std::vector<std::string> answers;
};

struct HandsTally {
  int conversations = 0, requests = 0;
  std::set<std::string> verbs, codes;
};

void runHandsBlock(const std::string& doc, const Block& b, HandsTally& tally) {
  SCOPED_TRACE(where(doc, b));
  std::vector<Exchange> exchanges;
  for (const auto& line : b.lines) {
    if (line.starts_with(ARROW_IN)) {
      exchanges.push_back({line.substr(ARROW_IN.size()), {}});
    } else if (line.starts_with(ARROW_OUT)) {
      ASSERT_FALSE(exchanges.empty()) << "an answer before any request";
      exchanges.back().answers.push_back(line.substr(ARROW_OUT.size()));
    } else if (line.starts_with("  ") && !exchanges.empty() && !exchanges.back().answers.empty()) {
      // A long answer goes on over indented lines.
      exchanges.back().answers.back() += line;
    } else {
      ASSERT_TRUE(line.empty() || line.starts_with("#")) << "not a conversation line: " << line;
    }
  }
  ASSERT_FALSE(exchanges.empty()) << "a conversation without requests";

  const std::string scene = testing::sourceDir() + "/docs/examples/" + b.scene;
  testing::Child child({testing::binDir() + "/plenk-hands-sim", scene});
  ASSERT_TRUE(child.started());
  std::size_t expected = 0;
  for (const auto& ex : exchanges) {
    expected += ex.answers.size();
    // One request at a time, as a host that waits for each answer: an answer that comes later
    // (open_app) is then not lost to the end of input.
    bool answered = child.pump(
        ex.request + "\n", false,
        [&] {
          return static_cast<std::size_t>(std::count(child.out.begin(), child.out.end(), '\n')) >=
                 expected;
        },
        20000);
    ASSERT_TRUE(answered) << "no answer in time to " << ex.request << "\nso far:\n" << child.out;
    if (auto request = json::parse(ex.request); request && request->is_object())
      if (auto verb = request->find("verb"); verb != request->end() && verb->is_string())
        tally.verbs.insert(verb->get<std::string>());
    ++tally.requests;
  }
  ASSERT_TRUE(child.pump(
      "", true, [&] { return child.outputsClosed(); }, 20000));
  EXPECT_EQ(child.wait(20000), 0);
  EXPECT_EQ(child.err, "plenk-hands: ready (protocol 1, version 1.0.0)\n");

  std::vector<std::string> got = testing::splitLines(child.out);
  std::size_t i = 0;
  for (const auto& ex : exchanges) {
    for (const auto& want : ex.answers) {
      ASSERT_LT(i, got.size()) << "missing the answer to " << ex.request;
      auto wantJson = json::parse(want);
      auto gotJson = json::parse(got[i]);
      if (wantJson && gotJson)
        EXPECT_EQ(*gotJson, *wantJson)
            << "to " << ex.request << "\n  documented: " << want << "\n  answered:   " << got[i];
      else
        EXPECT_EQ(got[i], want) << "to " << ex.request;
      if (gotJson && gotJson->is_object() && gotJson->contains("code"))
        tally.codes.insert((*gotJson)["code"].get<std::string>());
      ++i;
    }
  }
  EXPECT_EQ(i, got.size()) << "answers the document does not show:\n" << child.out;
  ++tally.conversations;
}

TEST(ProtocolDocs, HandsExamplesAnswerAsDocumented) {
  const std::string doc = "hands-protocol.md";
  HandsTally tally;
  for (const auto& b : blocksOf(doc))
    if (b.kind == "hands") runHandsBlock(doc, b, tally);
  std::cout << "hands examples: " << tally.conversations << " conversations, " << tally.requests
            << " requests\n";
  ASSERT_GT(tally.conversations, 0) << "no example conversation found in " << doc;
  for (auto verb : hands::VERBS)
    EXPECT_TRUE(tally.verbs.contains(std::string(verb))) << "no example of " << verb;
  for (const char* code : {"bad_request", "bad_args", "no_permission", "bad_key", "secure_field",
                           "not_found", "helper_failed"})
    EXPECT_TRUE(tally.codes.contains(code)) << "no example answers " << code;
}

// ---- plenk-media ----------------------------------------------------------------------------

// The inputs every media example may name, made once.
struct MediaFixtures {
  testing::TempDir dir;
  std::vector<std::string> names;

  MediaFixtures() {
    using testing::TextPage;
    auto keep = [&](const std::string& name) { names.push_back(name); };
    testing::writeFile(dir / "letter.pdf",
                       testing::textPdf({TextPage{.lines = testing::proseLines(1, 3)},
                                         TextPage{.lines = testing::proseLines(2, 3)}}));
    keep("letter.pdf");
    testing::writeFile(dir / "page.pdf",
                       testing::textPdf({TextPage{.lines = testing::proseLines(1, 4)}}));
    testing::scanOf(dir / "page.pdf", dir / "scan.pdf");
    keep("scan.pdf");
    // Eight scanned pages: recognising them takes seconds, far past the shortest deadline.
    std::vector<TextPage> eight;
    for (int page = 1; page <= 8; ++page)
      eight.push_back(TextPage{.lines = testing::proseLines(page, 12)});
    testing::writeFile(dir / "eight.pdf", testing::textPdf(eight));
    testing::scanOf(dir / "eight.pdf", dir / "scans.pdf");
    keep("scans.pdf");
    testing::encryptedCopy(dir / "letter.pdf", dir / "locked.pdf");
    keep("locked.pdf");
    testing::writeFile(dir / "empty.pdf", testing::textPdf({}));
    keep("empty.pdf");
    // A recording whose header promises pictures that were cut off: its index comes first
    // (faststart), and the file ends where the picture data would begin.
    if (!testing::ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=4 -c:v libx264 "
                         "-pix_fmt yuv420p -movflags +faststart " +
                         dir / "whole.mp4"))
      throw std::runtime_error("cannot make whole.mp4");
    std::string whole = testing::readFile(dir / "whole.mp4");
    std::size_t data = whole.find("mdat");
    if (data == std::string::npos) throw std::runtime_error("whole.mp4 has no picture data");
    testing::writeFile(dir / "cut.mp4", whole.substr(0, data + 4));
    keep("cut.mp4");
    for (const char* name : {"clip.mp4", "silent.mp4", "tone.m4a", "notes.txt"}) {
      std::string made = testing::recordingFixtures()(name);
      if (made.empty()) throw std::runtime_error(std::string("cannot make ") + name);
      fs::copy_file(made, dir / name);
      keep(name);
    }
  }
};

// Splits a command line at spaces; '...' quotes (so '' is an empty argument).
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '\'')
        quoted = false;
      else
        word += c;
    } else if (c == '\'') {
      quoted = inWord = true;
    } else if (c == ' ') {
      if (inWord) out.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) out.push_back(word);
  return out;
}

// Whether `got` is `want` with each "…" standing for one JSON scalar.
bool matches(std::string_view want, std::string_view got) {
  static const std::string ANY = "…";
  std::size_t at = want.find(ANY);
  if (at == std::string_view::npos) return want == got;
  if (got.substr(0, at) != want.substr(0, at)) return false;
  got.remove_prefix(at);
  want.remove_prefix(at + ANY.size());
  std::size_t n = 0;
  if (!got.empty() && got[0] == '"') {
    for (n = 1; n < got.size() && got[n] != '"'; ++n)
      if (got[n] == '\\') ++n;
    ++n;
  } else {
    while (n < got.size() && std::string_view(",}]").find(got[n]) == std::string_view::npos)
      ++n;
  }
  if (n == 0 || n > got.size()) return false;
  return matches(want, got.substr(n));
}

struct Run {
  std::vector<std::string> args;
  std::string out, err;
  std::optional<int> exit;
  std::optional<std::string> listing;
};

struct MediaTally {
  int runs = 0;
  std::set<std::string> verbs, keys, codes;
  std::set<int> statuses;
};

std::string listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names)
    out += (out.empty() ? "" : " ") + n;
  return out;
}

void runMediaBlock(const std::string& doc, const Block& b, const MediaFixtures& fixtures,
                   MediaTally& tally) {
  SCOPED_TRACE(where(doc, b));
  std::vector<Run> runs;
  for (const auto& line : b.lines) {
    if (line.empty() || line.starts_with("#")) continue;
    if (line.starts_with("$ ")) {
      auto args = words(line.substr(2));
      ASSERT_FALSE(args.empty());
      ASSERT_EQ(args[0], "plenk-media") << line;
      args.erase(args.begin());
      runs.push_back({args, {}, {}, {}, {}});
      continue;
    }
    ASSERT_FALSE(runs.empty()) << "a line before any command: " << line;
    Run& run = runs.back();
    if (line.starts_with("stderr: "))
      run.err = line.substr(8) + "\n";
    else if (line.starts_with("exit: ")) {
      int status = -1;
      std::string_view text = std::string_view(line).substr(6);
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), status);
      EXPECT_TRUE(ec == std::errc{} && end == text.data() + text.size())
          << "not a status: " << line;
      run.exit = status;
    } else if (line.starts_with("out:"))
      run.listing = line.size() > 5 ? line.substr(5) : "";
    else if (run.out.empty())
      run.out = line;
    else
      FAIL() << "a second standard output line: " << line;
  }
  ASSERT_FALSE(runs.empty()) << "a media example without a command";

  testing::TempDir work;
  fs::create_directory(work.path / "out");
  for (const auto& name : fixtures.names)
    fs::create_hard_link(fixtures.dir.path / name, work.path / name);
  for (const auto& run : runs) {
    ASSERT_TRUE(run.exit) << "no exit status given";
    // The examples describe a system without a display (pick cannot run there).
    std::vector<std::string> argv{"/usr/bin/env",
                                  "-u",
                                  "DISPLAY",
                                  "-u",
                                  "WAYLAND_DISPLAY",
                                  "/bin/sh",
                                  "-c",
                                  "cd \"$0\" && exec \"$@\"",
                                  work.path.string(),
                                  testing::binDir() + "/plenk-media"};
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    testing::Conversation c = testing::converse(argv, "", 60000);
    std::string command;
    for (const auto& a : run.args)
      command += " " + a;
    SCOPED_TRACE("plenk-media" + command);
    ASSERT_FALSE(c.timedOut);
    EXPECT_EQ(c.status, *run.exit);
    EXPECT_EQ(c.err, run.err);
    EXPECT_TRUE(c.out.ends_with("\n") && std::count(c.out.begin(), c.out.end(), '\n') == 1)
        << c.out;
    std::string line = c.out.substr(0, c.out.find('\n'));
    EXPECT_TRUE(matches(run.out, line))
        << "  documented: " << run.out << "\n  answered:   " << line;
    if (run.listing) {
      EXPECT_EQ(listing(work.path / "out"), *run.listing);
    }

    if (auto answer = json::parse(line); answer && answer->contains("code"))
      tally.codes.insert((*answer)["code"].get<std::string>());
    if (!run.args.empty()) tally.verbs.insert(run.args[0]);
    for (std::size_t i = 1; i < run.args.size(); i += 2)
      tally.keys.insert(run.args[i]);
    tally.statuses.insert(c.status);
    ++tally.runs;
  }
}

TEST(ProtocolDocs, MediaExamplesAnswerAsDocumented) {
  const std::string doc = "media-protocol.md";
  MediaFixtures fixtures;
  MediaTally tally;
  int blocks = 0;
  for (const auto& b : blocksOf(doc)) {
    if (b.kind != "media") continue;
    runMediaBlock(doc, b, fixtures, tally);
    ++blocks;
  }
  std::cout << "media examples: " << blocks << " blocks, " << tally.runs << " command lines\n";
  ASSERT_GT(tally.runs, 0) << "no example command line found in " << doc;
  for (auto verb : media::VERB_NAMES)
    EXPECT_TRUE(tally.verbs.contains(std::string(verb))) << "no example of " << verb;
  for (auto key : media::KNOWN_KEYS)
    EXPECT_TRUE(tally.keys.contains(std::string(key))) << "no example uses " << key;
  for (const char* code : {"E_USAGE", "E_INPUT", "E_WORK", "E_UNSUPPORTED", "E_DEADLINE", "E_OUT"})
    EXPECT_TRUE(tally.codes.contains(code)) << "no example answers " << code;
  for (int status : {0, 2, 3, 4, 5, 6})
    EXPECT_TRUE(tally.statuses.contains(status)) << "no example exits with " << status;
}

// ---- README ---------------------------------------------------------------------------------

// Whether every key of `want` is in `got` with the same value (objects within objects alike).
bool within(const Json& want, const Json& got) {
  if (!want.is_object()) return want == got;
  if (!got.is_object()) return false;
  for (const auto& [key, value] : want.items())
    if (!got.contains(key) || !within(value, got[key])) return false;
  return true;
}

// The short examples of the README, run against the real programs: an indented request line or
// command line, then "→ " and the answer, where ",..." stands for keys left out.
TEST(ProtocolDocs, ReadmeExamplesAnswerAsShown) {
  std::ifstream in(testing::sourceDir() + "/README.md");
  std::vector<std::pair<std::string, std::string>> hands, media;
  std::string line, asked;
  while (std::getline(in, line)) {
    if (!line.starts_with("    ")) continue;
    std::string text = line.substr(4);
    if (text.starts_with("→ ")) {
      std::string want = text.substr(std::string("→ ").size());
      for (auto at = want.find(",..."); at != std::string::npos; at = want.find(",..."))
        want.erase(at, 4);
      (asked.starts_with("plenk-media ") ? media : hands).emplace_back(asked, want);
    } else {
      asked = text;
    }
  }
  ASSERT_FALSE(hands.empty());
  ASSERT_FALSE(media.empty());
  std::string input;
  for (const auto& [request, want] : hands)
    input += request + "\n";
  testing::Conversation c = testing::converse({testing::binDir() + "/plenk-hands"}, input, 60000);
  EXPECT_EQ(c.err, "plenk-hands: ready (protocol 1, version 1.0.0)\n");
  auto answers = testing::splitLines(c.out);
  ASSERT_EQ(answers.size(), hands.size()) << c.out;
  for (std::size_t i = 0; i < hands.size(); ++i) {
    auto want = json::parse(hands[i].second);
    ASSERT_TRUE(want) << hands[i].second;
    EXPECT_TRUE(within(*want, json::parse(answers[i]).value_or(Json()))) << answers[i];
  }
  for (const auto& [command, want] : media) {
    std::vector<std::string> argv = words(command);
    argv[0] = testing::binDir() + "/plenk-media";
    testing::Conversation run = testing::converse(argv, "", 60000);
    auto expected = json::parse(want);
    ASSERT_TRUE(expected) << want;
    EXPECT_TRUE(within(*expected, json::parse(run.out).value_or(Json()))) << run.out;
  }
}

} // namespace
} // namespace plenk
