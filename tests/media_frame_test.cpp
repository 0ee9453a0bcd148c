// plenk-media as the host sees it: one line on standard output, at most one on standard error,
// and the exit status.
#include "platform/json.hpp"
#include "tests/run_program.hpp"
#include "tests/support/documents.hpp"
#include "tests/support/paths.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::Finished;
using testing::runProgram;
namespace fs = std::filesystem;

// Without a display, wherever the tests run: the picker is then out of reach.
Finished media(const std::vector<std::string>& args) {
  return runProgram("plenk-media", args, {"DISPLAY=", "WAYLAND_DISPLAY="});
}
Finished testbed(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  return runProgram("plenk-media-testbed", args, env);
}

std::string failureLine(const std::string& code, const std::string& message,
                        const std::string& nonce, const std::string& verb) {
  Json m = message, n = nonce, v = verb;
  return R"({"code":")" + code + R"(","helper":"plenk-media","message":)" + *json::writeSorted(m) +
         R"(,"nonce":)" + *json::writeSorted(n) + R"(,"ok":false,"protocol":1,"verb":)" +
         *json::writeSorted(v) + R"(,"version":"1.0.0"})" + "\n";
}

TEST(MediaCommandLine, FailuresGiveOneLineEachWithTheirStatus) {
  const std::string verbFirst = "the first argument must be a verb: probe, inspect, pdftext, "
                                "ocr, frames, audio or pick";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string code, message, nonce, verb;
  };
  const Case cases[] = {
      {{}, 2, "E_USAGE", verbFirst, "", ""},
      {{"--in", "a.pdf"}, 2, "E_USAGE", verbFirst, "", ""},
      {{"--nonce", "n", "--x"}, 2, "E_USAGE", verbFirst, "", ""},
      {{"frobnicate", "--nonce", "k1"},
       2,
       "E_USAGE",
       "there is no verb called frobnicate",
       "k1",
       "frobnicate"},
      {{"ocr", "--nonce", "k2", "--pages"},
       2,
       "E_USAGE",
       "option --pages was given with no value",
       "k2",
       "ocr"},
      {{"probe", "--colour", "red"}, 2, "E_USAGE", "unknown option --colour", "", "probe"},
      {{"scan", "--bogus", "1"}, 2, "E_USAGE", "unknown option --bogus", "", "scan"},
      {{"Probe"}, 2, "E_USAGE", "there is no verb called Probe", "", "Probe"},
      {{"probe", "--deadline", "soon"},
       2,
       "E_USAGE",
       "--deadline must be a whole number",
       "",
       "probe"},
      {{"probe", "--deadline", "1.5"},
       2,
       "E_USAGE",
       "--deadline must be a whole number",
       "",
       "probe"},
      {{"probe", "--deadline", ""}, 2, "E_USAGE", "--deadline must be a whole number", "", "probe"},
      {{"probe", "--deadline", "9223372036854775808"},
       2,
       "E_USAGE",
       "--deadline must be a whole number",
       "",
       "probe"},
      // Only odd positions are keys: the first "--nonce" there wins, a value is never a key.
      {{"x", "--nonce", "a", "--nonce", "b"}, 2, "E_USAGE", "there is no verb called x", "a", "x"},
      {{"x", "--in", "--nonce", "--nonce", "c"},
       2,
       "E_USAGE",
       "there is no verb called x",
       "c",
       "x"},
      {{"x", "--nonce"}, 2, "E_USAGE", "option --nonce was given with no value", "", "x"},
      {{"x", "--in", "--out", "--nonce", "d/e"},
       2,
       "E_USAGE",
       "there is no verb called x",
       "d/e",
       "x"},
      {{"pick", "--nonce", "p", "--limit", "many"},
       4,
       "E_UNSUPPORTED",
       "choosing photographs and videos needs a display to show the picker on",
       "p",
       "pick"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Finished f = media(c.args);
    EXPECT_EQ(f.status, c.status);
    EXPECT_EQ(f.out, failureLine(c.code, c.message, c.nonce, c.verb));
    EXPECT_EQ(f.err, "plenk-media: " + c.message + "\n");
  }
  // Standard error stays one line whatever the message holds; the envelope keeps it as it is.
  Finished f = media({"new\nverb\x01"});
  EXPECT_EQ(f.err, "plenk-media: there is no verb called new\\nverb\\x01\n");
  EXPECT_EQ(f.out,
            failureLine("E_USAGE", "there is no verb called new\nverb\x01", "", "new\nverb\x01"));
}

TEST(MediaCommandLine, AnArgumentThatIsNotUtf8GivesTheFixedLine) {
  Finished f = media({"probe", "--nonce", "\xFF"});
  EXPECT_EQ(f.out, "{\"helper\":\"plenk-media\",\"ok\":false,\"code\":\"E_WORK\"}\n");
  EXPECT_EQ(f.status, 0);
  f = media({"nope\xC3"});
  EXPECT_EQ(f.out, "{\"helper\":\"plenk-media\",\"ok\":false,\"code\":\"E_WORK\"}\n");
  EXPECT_EQ(f.status, 2);
}

TEST(MediaProbe, AnswersWithThisSystem) {
  Finished f = media({"probe", "--nonce", "abc", "--in", "/no/such/file", "--deadline", "+700"});
  ASSERT_EQ(f.status, 0);
  EXPECT_EQ(f.err, "");
  ASSERT_TRUE(f.out.ends_with("}\n"));
  EXPECT_EQ(f.out.find('\n'), f.out.size() - 1);
  auto line = json::parse(f.out);
  ASSERT_TRUE(line);
  EXPECT_EQ(*json::writeSorted(*line) + "\n", f.out); // keys sorted, "/" escaped, compact
  EXPECT_EQ((*line)["nonce"], "abc");
  EXPECT_EQ((*line)["verb"], "probe");
  EXPECT_EQ((*line)["canPick"], false);
  EXPECT_EQ((*line)["verbs"],
            Json::array({"probe", "inspect", "pdftext", "ocr", "frames", "audio", "pick"}));
  std::ifstream osRelease("/etc/os-release");
  std::string text((std::istreambuf_iterator<char>(osRelease)), {});
  auto pretty = text.find("PRETTY_NAME=");
  if (pretty != std::string::npos) {
    std::string name = (*line)["os"];
    EXPECT_NE(text.find(name, pretty), std::string::npos) << name;
    EXPECT_TRUE((*line)["osMajor"].is_number_integer());
    EXPECT_TRUE((*line)["osMinor"].is_number_integer());
  }
}

TEST(MediaProbe, LoadsNoneOfTheLibrariesOfTheHeavyServices) {
  // The dynamic loader names every object it loads.
  Finished f = runProgram("plenk-media", {"probe"}, {"LD_DEBUG=files"});
  ASSERT_EQ(f.status, 0);
  EXPECT_NE(f.err.find("libc.so"), std::string::npos) << "the loader's trace is missing";
  for (const char* heavy : {"libpoppler", "libtesseract", "libavformat", "libvips"})
    EXPECT_EQ(f.err.find(heavy), std::string::npos) << heavy;
}

TEST(MediaServices, WithoutTheirModuleProbeStillAnswersAndAVerbNeedingThemFails) {
  testing::TempDir dir;
  fs::copy_file(fs::path(testing::binDir()) / "plenk-media", dir.path / "plenk-media");
  testing::writeFile(dir / "doc.pdf", testing::textPdf({{.lines = {"Hello"}}}));
  std::string alone = dir / "plenk-media";
  EXPECT_EQ(runProgram(alone, {"probe"}).status, 0);
  Finished f = runProgram(alone, {"inspect", "--in", dir / "doc.pdf", "--nonce", "n"});
  EXPECT_EQ(f.out,
            failureLine("E_WORK", "plenk-media failed while doing this work", "n", "inspect"));
  EXPECT_EQ(f.status, 4);
  // With the module beside it, the same job is answered.
  EXPECT_EQ(media({"inspect", "--in", dir / "doc.pdf"}).status, 0);
}

TEST(MediaReaders, SpellingsAcceptedAndRefusedInAnyLocale) {
  struct Case {
    std::string key, value;
    std::optional<Json> read; // nothing: refused
  };
  const Case cases[] = {
      {"--max-chars", "+700", 700}, {"--max-chars", "0700", 700},
      {"--max-chars", "-5", -5},    {"--max-chars", "99999999999999999999", {}},
      {"--max-chars", "7 ", {}},    {"--quality", "0.5", 0.5},
      {"--quality", "5e-1", 0.5},   {"--quality", "0x1p-1", 0.5},
      {"--quality", " 0.5", {}},    {"--quality", "0.5 ", {}},
      {"--quality", "inf", {}},     {"--quality", "nan", {}},
      {"--quality", "1e999", {}},   {"--quality", "0,5", {}},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(locale) + " " + c.key + " '" + c.value + "'");
      Finished f = testbed({"echo", c.key, c.value}, {std::string("LC_ALL=") + locale});
      auto line = json::parse(f.out);
      ASSERT_TRUE(line);
      if (c.read) {
        EXPECT_EQ(f.status, 0);
        EXPECT_EQ((*line)[c.key == "--quality" ? "quality" : "maxChars"], *c.read);
      } else {
        EXPECT_EQ(f.status, 2);
        EXPECT_EQ((*line)["message"],
                  c.key + (c.key == "--quality" ? " must be a number" : " must be a whole number"));
      }
    }
  }
}

TEST(MediaDeadline, AVerbHeldPastItsDeadline) {
  auto start = std::chrono::steady_clock::now();
  Finished f = testbed({"hold", "--deadline", "100", "--nonce", "d1"});
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(f.status, 5);
  EXPECT_EQ(f.err, "plenk-media: the deadline of 500 ms passed before the work finished\n");
  EXPECT_EQ(f.out,
            failureLine("E_DEADLINE", "macOS did not finish this within 500 ms", "d1", "hold"));
  EXPECT_GE(waited, std::chrono::milliseconds(500));
}

TEST(MediaDeadline, AnEndRightAtTheDeadlineNeverWritesTwoLines) {
  // Milliseconds run as microseconds here: the verb and the deadline finish together. The race
  // itself is run thousands of times in process (OnceGuard); these rounds check the real
  // program's ends (write, _exit) around it, and a start costs a third of a second.
  constexpr int ROUNDS = 12;
  int answered = 0, late = 0;
  for (int i = 0; i < ROUNDS; ++i) {
    Finished f = testbed({"--fast", "hold", "--deadline", "500", "--max-seconds", "0.5"});
    ASSERT_TRUE(f.out.ends_with("\n"));
    ASSERT_EQ(f.out.find('\n'), f.out.size() - 1) << f.out;
    auto line = json::parse(f.out);
    ASSERT_TRUE(line);
    if (f.status == 0) {
      ++answered;
      ASSERT_EQ(f.err, "");
      ASSERT_EQ((*line)["seconds"], 0.5);
    } else {
      ++late;
      ASSERT_EQ(f.status, 5);
      ASSERT_EQ(f.err, "plenk-media: the deadline of 500 ms passed before the work finished\n");
      ASSERT_EQ((*line)["code"], "E_DEADLINE");
    }
  }
  std::cout << "verb first " << answered << ", deadline first " << late << "\n";
}

struct MediaPaths : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/plenk-media-paths-XXXXXX";
    ASSERT_TRUE(::mkdtemp(tmpl));
    dir = tmpl;
    std::ofstream(dir + "/in.pdf") << "%PDF";
    fs::create_directory(dir + "/out");
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string dir;
};

TEST_F(MediaPaths, FailuresInTheirOrder) {
  std::ofstream(dir + "/out/text.txt") << "keep me";
  fs::create_directory(dir + "/out/taken-dir");
  const std::string in = dir + "/in.pdf", out = dir + "/out";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string code, message;
  };
  const Case cases[] = {
      {{"place"}, 2, "E_USAGE", "--in <file> is required for this verb"},
      {{"place", "--out", "/nonexistent", "--in", ""},
       2,
       "E_USAGE",
       "--in <file> is required for this verb"},
      {{"place", "--in", dir + "/none", "--out", out},
       3,
       "E_INPUT",
       "there is no readable file at the path given to --in"},
      {{"place", "--in", out, "--out", out},
       3,
       "E_INPUT",
       "there is no readable file at the path given to --in"},
      {{"place", "--in", in}, 2, "E_USAGE", "--out <directory> is required for this verb"},
      {{"place", "--in", in, "--out", in},
       6,
       "E_OUT",
       "the path given to --out is not a directory that exists"},
      {{"place", "--in", in, "--out", dir + "/new"},
       6,
       "E_OUT",
       "the path given to --out is not a directory that exists"},
      {{"place", "--in", in, "--out", out},
       6,
       "E_OUT",
       "the directory given to --out holds a file called text.txt; nothing was written"},
      {{"place", "--in", in, "--out", out, "--format", "taken-dir"},
       6,
       "E_OUT",
       "the directory given to --out holds a file called taken-dir; nothing was written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Finished f = testbed(c.args);
    EXPECT_EQ(f.status, c.status);
    EXPECT_EQ(f.out, failureLine(c.code, c.message, "", "place"));
    EXPECT_EQ(f.err, "plenk-media: " + c.message + "\n");
  }
  EXPECT_FALSE(fs::exists(dir + "/new"));
  std::ifstream kept(dir + "/out/text.txt");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "keep me");
}

TEST_F(MediaPaths, ANewFileIsWrittenIntoTheStandardisedDirectory) {
  Finished f =
      testbed({"place", "--in", dir + "/in.pdf", "--out", dir + "//out/./", "--format", "a.txt"});
  ASSERT_EQ(f.status, 0) << f.out;
  auto line = json::parse(f.out);
  EXPECT_EQ((*line)["dir"], dir + "/out");
  EXPECT_EQ((*line)["file"], "a.txt");
  EXPECT_EQ((*line)["bytes"], 6);
  std::ifstream written(dir + "/out/a.txt");
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(written)), {}), "plenk\n");
}

TEST_F(MediaPaths, PermissionsAsAnotherUser) {
  // Root reads and writes everything, so the checks run as "nobody" (through setpriv).
  if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "setpriv is not installed";
  std::ofstream(dir + "/locked.pdf") << "%PDF";
  fs::create_directory(dir + "/shut");
  fs::permissions(dir + "/locked.pdf", fs::perms::owner_read);
  fs::permissions(dir + "/shut",
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(dir, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(dir + "/in.pdf", fs::perms::others_read, fs::perm_options::add);
  auto asNobody = [&](const std::vector<std::string>& args) {
    std::vector<std::string> all{"--reuid=65534", "--regid=65534", "--clear-groups",
                                 testing::binDir() + "/plenk-media-testbed"};
    all.insert(all.end(), args.begin(), args.end());
    return runProgram("/usr/bin/setpriv", all);
  };
  Finished f = asNobody({"place", "--in", dir + "/locked.pdf", "--out", dir + "/shut"});
  EXPECT_EQ(f.status, 3);
  EXPECT_EQ(f.out, failureLine("E_INPUT", "the file given to --in cannot be read by this user", "",
                               "place"));
  f = asNobody({"place", "--in", dir + "/in.pdf", "--out", dir + "/shut"});
  EXPECT_EQ(f.status, 6);
  EXPECT_EQ(f.out,
            failureLine("E_OUT", "the directory given to --out cannot be written to", "", "place"));
  EXPECT_TRUE(fs::is_empty(dir + "/shut"));
}

} // namespace
} // namespace plenk
