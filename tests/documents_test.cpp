// plenk-media's document verbs as the host runs them: one process, one line, one exit status.
#include "platform/json.hpp"
#include "tests/support/documents.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/schema.hpp"

#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace plenk {
namespace {

using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs plenk-media with the arguments, in this process's environment without OMP_THREAD_LIMIT,
// as a host that knows nothing of the recogniser's threads would.
Outcome media(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), testing::binDir() + "/plenk-media");
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "OMP_THREAD_LIMIT=", 17) != 0) envp.push_back(*e);
  envp.push_back(nullptr);

  const std::string outPath = dir / "stdout", errPath = dir / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  Outcome run;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = testing::readFile(outPath);
  run.err = testing::readFile(errPath);
  testing::schema::expectMediaRun(args[0], run.status, run.out);
  return run;
}

TEST(DocumentsProcess, OcrReadsAScanAndSaysNothingOnStandardError) {
  TempDir dir;
  const std::string text = dir / "text.pdf";
  const std::string scan = dir / "scan.pdf";
  testing::writeFile(
      text,
      testing::textPdf(
          {{.width = 612, .height = 792, .lines = {"Morning river lantern"}, .fontSize = 24}}));
  testing::scanOf(text, scan, 150);
  std::filesystem::create_directory(dir / "out");

  const Outcome run = media(dir, {"ocr", "--in", scan, "--out", dir / "out", "--nonce", "n-7"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  ASSERT_TRUE(run.out.ends_with("}\n")) << run.out;
  const auto answer = json::parse(run.out);
  ASSERT_TRUE(answer) << run.out;
  EXPECT_EQ((*answer)["nonce"], "n-7");
  EXPECT_EQ((*answer)["verb"], "ocr");
  EXPECT_EQ((*answer)["pagesRead"], 1);
  EXPECT_EQ(testing::readFile(dir / "out/text.txt"), "--- Page 1 ---\nMorning river lantern");
}

TEST(DocumentsProcess, PdfTextAnswersWithSortedKeys) {
  TempDir dir;
  const std::string pdf = dir / "doc.pdf";
  testing::writeFile(pdf, testing::textPdf({{.lines = {"Hello"}}}));
  std::filesystem::create_directory(dir / "out");
  const Outcome run = media(dir, {"pdftext", "--in", pdf, "--out", dir / "out", "--nonce", "a"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, R"({"chars":5,"file":"text.txt","helper":"plenk-media","nonce":"a",)"
                     R"("ok":true,"pages":1,"protocol":1,"sparse":true,"truncated":false,)"
                     R"("verb":"pdftext","version":"1.0.0"})"
                     "\n");
  EXPECT_EQ(testing::readFile(dir / "out/text.txt"), "Hello");
}

TEST(DocumentsProcess, ALockedPdfIsRefusedWithOneDiagnosticLine) {
  TempDir dir;
  const std::string plain = dir / "plain.pdf";
  const std::string locked = dir / "locked.pdf";
  testing::writeFile(plain, testing::textPdf({{.lines = {"secret"}}}));
  testing::encryptedCopy(plain, locked);
  const Outcome run = media(dir, {"inspect", "--in", locked});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err,
            "plenk-media: that PDF is locked with a password, so its pages cannot be opened\n");
  const auto answer = json::parse(run.out);
  ASSERT_TRUE(answer);
  EXPECT_EQ((*answer)["code"], "E_INPUT");
  EXPECT_EQ((*answer)["ok"], false);
}

} // namespace
} // namespace plenk
