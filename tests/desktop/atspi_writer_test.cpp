// LibreOffice Writer (its GTK 3 plugin) on a document of known text: read_text gives the
// document's paragraphs, not only the window's chrome; what is typed is what Writer saves; Writer
// lives through every verb. Judged by the saved file and the window manager.
#include "tests/desktop/desktop.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>

namespace plenk {
namespace {

TEST(AtspiWriter, DocumentParagraphsAndATypingRoundTrip) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  desktop::TempFolder folder;
  const std::string path = folder.path + "/letter.txt";
  std::ofstream(path) << "The first paragraph of the letter.\nThe second paragraph, with more "
                         "words.\n";
  // The launcher hands over to soffice.bin: the window's owner is the process to watch.
  desktop::Process launcher({"/usr/bin/libreoffice", "--norestore", "--nologo", "--writer", path});
  ASSERT_TRUE(desktop::waitUntil(
      [] {
        return desktop::activeWindowTitle().find("letter.txt - LibreOffice Writer") !=
               std::string::npos;
      },
      60000))
      << desktop::activeWindowTitle();
  auto document = desktop::activeWindow();
  int writer = desktop::windowPid(*document).value_or(-1);
  ASSERT_GT(writer, 0);
  struct Ender {
    int pid;
    ~Ender() { ::kill(pid, SIGKILL); }
  } ender{writer};
  desktop::Hands hands;
  auto alive = [&](const char* verb) {
    EXPECT_TRUE(desktop::running(writer)) << "Writer died after " << verb;
  };

  Json front = hands.result("frontmost");
  alive("frontmost");
  ASSERT_TRUE(front.is_object()) << hands.lastAnswer();
  EXPECT_EQ(front["app"]["pid"], writer);

  Json read = hands.result("read_text", Json::object(), 30000);
  alive("read_text");
  ASSERT_TRUE(read.is_object()) << hands.lastAnswer();
  EXPECT_NE(read.value("text", "")
                .find("The first paragraph of the letter.\nThe second "
                      "paragraph, with more words."),
            std::string::npos)
      << read;

  Json listed = hands.result("elements", {{"max", 300}}, 30000);
  alive("elements");
  ASSERT_TRUE(listed.is_object()) << hands.lastAnswer();
  EXPECT_FALSE(
      desktop::recordsOf(listed["elements"], "statictext", "The first paragraph of the letter.")
          .empty())
      << listed;

  // Before the first paragraph, where a document opens (a Ctrl+End sent first was sometimes taken
  // before the document had the keys on a loaded machine, and the text went to the top anyway),
  // typed and saved in the text format (Writer asks whether to keep it; Return keeps it). Writer
  // starts a saved text file with a byte order mark.
  ASSERT_TRUE(hands.result("type", {{"text", "Typed into Writer: Zoë\n"}}).is_object())
      << hands.lastAnswer();
  alive("type");
  hands.result("key", {{"key", "cmd+s"}});
  desktop::waitUntil([&] { return desktop::activeWindow() != document; }, 10000);
  hands.result("key", {{"key", "return"}});
  alive("key");
  const std::string expected = "\xEF\xBB\xBFTyped into Writer: Zoë\nThe first paragraph of the "
                               "letter.\nThe second paragraph, with more words.\n";
  desktop::waitUntil([&] { return desktop::fileText(path) == expected; }, 10000);
  EXPECT_EQ(desktop::fileText(path), expected);
}

} // namespace
} // namespace plenk
