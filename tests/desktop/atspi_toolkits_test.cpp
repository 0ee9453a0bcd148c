// One application from Debian per remaining toolkit (GTK 2, Qt 6, Java through its ATK wrapper, a
// VTE terminal) through the real plenk-hands: the front app, its elements inside the window as
// X11 places it, its known text in order, a hit test, a click and typing that the application
// saves to disk (compared byte for byte), and no typing into a password field. After every verb
// the application still runs.
#include "tests/desktop/desktop.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plenk {
namespace {

using desktop::Box;

// One application: how it starts on a file of known text (the command runs in the file's folder
// through sh, `FILE` standing for the file's name), what it shows of that text, how what is typed
// reaches the disk.
struct App {
  const char* toolkit;
  const char* command;
  const char* appName;
  const char* known;    // the file's content before the test
  const char* readText; // what read_text gives of it, in order
  const char* typed;
  const char* saved;                      // the file after typing and saving
  std::vector<const char*> openKeys = {}; // keys and texts ("=text") that open the file, if the
                                          // application takes no file argument
  bool saveByButton = false;              // a "Save" button saves; otherwise Ctrl+S
  bool terminal = false;                  // typed as a shell command line that writes the file
  bool password = false;                  // has a password field in the window
  const char* hidden = nullptr;           // a text the window holds but does not show
  const char* below = nullptr;            // a text shown below the document, read after it
};

// Java's ATK wrapper is off unless asked for, as on a user's desktop (accessibility.properties).
constexpr const char* JAVA_WRAPPER = "/usr/share/java/java-atk-wrapper.jar";
constexpr const char* JAVA_ACCESSIBLE =
    "-Djava.library.path=/usr/lib/x86_64-linux-gnu/jni "
    "-Djavax.accessibility.assistive_technologies=org.GNOME.Accessibility.AtkWrapper";

std::string javaNote() {
  return std::string("exec java -cp ") + JAVA_WRAPPER + " " + JAVA_ACCESSIBLE + " '" +
         testing::sourceDir() + "/tests/desktop/apps/SwingNote.java' FILE";
}

const std::string JAVA = javaNote();

const App APPS[] = {
    // gmanedit opens files only through its dialog, which is told to start in the folder.
    {.toolkit = "gtk2",
     .command = "GTK_MODULES=gail:atk-bridge exec /usr/bin/gmanedit",
     .appName = "gmanedit",
     .known = "First line of the page\nSecond line, with é\n",
     .readText = "First line of the page\nSecond line, with é\n",
     .typed = "Typed by the test: Zoë\n",
     .saved = "First line of the page\nSecond line, with é\nTyped by the test: Zoë\n",
     .openKeys = {"cmd+o", "cmd+l", "=FILE\n"},
     .saveByButton = true},
    {.toolkit = "java",
     .command = JAVA.c_str(),
     .appName = "com-sun-tools-javac-launcher-Main",
     .known = "First line of the note\nSecond line, with é\n",
     .readText = "First line of the note\nSecond line, with é\n",
     .typed = "Typed by the test: Zoë",
     .saved = "First line of the note\nSecond line, with é\nTyped by the test: Zoë",
     .saveByButton = true,
     .password = true},
    {.toolkit = "gtk3",
     .command = "exec /usr/bin/mousepad FILE",
     .appName = "Mousepad",
     .known = "First line of the page\nSecond line, with é\n",
     .readText = "First line of the page\nSecond line, with é",
     .typed = "Typed by the test: Zoë\n",
     .saved = "First line of the page\nSecond line, with é\nTyped by the test: Zoë\n"},
    // GNOME Text Editor keeps a file's last line feed out of its text (the end is before it) and
    // its start page laid out at no size behind the document.
    {.toolkit = "gtk4",
     .command = "exec /usr/bin/gnome-text-editor --standalone FILE",
     .appName = "Text Editor",
     .known = "First line of the page\nSecond line, with é\n",
     .readText = "First line of the page\nSecond line, with é",
     .typed = "Typed by the test: Zoë\n",
     .saved = "First line of the page\nSecond line, with éTyped by the test: Zoë\n\n",
     .hidden = "Start or Open a Document"},
    {.toolkit = "qt6",
     .command = "exec /usr/bin/focuswriter FILE",
     .appName = "FocusWriter",
     .known = "First line of the page\nSecond line, with é\n",
     .readText = "First line of the page\nSecond line, with é",
     .typed = "Typed by the test: Zoë\n",
     .saved = "First line of the page\nSecond line, with é\nTyped by the test: Zoë\n",
     // Its status bar comes first among the window's boxes, the editor over the whole window.
     .below = "Words: 9"},
    // The terminal shows the file, then a shell; the typed line and its text go through `cat`.
    {.toolkit = "vte",
     .command = "exec /usr/bin/sakura -x \"sh -c 'cat FILE; rm FILE; PS1=\\\"$ \\\" exec sh'\"",
     .appName = "Sakura",
     .known = "First line on the screen\nSecond line, with é\n",
     .readText = "First line on the screen\nSecond line, with é\n$",
     .typed = "cat > FILE\nTyped by the test: Zoë\n",
     .saved = "Typed by the test: Zoë\n",
     .terminal = true},
};

// Failures name the row by its toolkit.
void PrintTo(const App& app, std::ostream* os) {
  *os << app.toolkit;
}

bool inside(const Box& inner, const Box& outer) {
  return inner.x >= outer.x - 1 && inner.y >= outer.y - 1 &&
         inner.x + inner.w <= outer.x + outer.w + 1 && inner.y + inner.h <= outer.y + outer.h + 1;
}

Json centre(const Json& record) {
  return {{"x", record.value("x", 0.0) + record.value("w", 0.0) / 2},
          {"y", record.value("y", 0.0) + record.value("h", 0.0) / 2}};
}

std::string replaced(std::string text, const std::string& name) {
  for (auto at = text.find("FILE"); at != text.npos; at = text.find("FILE", at + name.size()))
    text.replace(at, 4, name);
  return text;
}

Json firstOf(const Json& elements, const std::string& role, const std::string& label = "") {
  for (const auto& r : elements)
    if (r.value("role", "") == role && (label.empty() || r.value("label", "") == label)) return r;
  return nullptr;
}

class AtspiToolkit : public ::testing::TestWithParam<App> {};

TEST_P(AtspiToolkit, EveryVerbOnARealApplicationAndWhatItSaves) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  const App& row = GetParam();
  desktop::TempFolder folder;
  const std::string name = "note.txt", path = folder.path + "/" + name;
  std::ofstream(path) << row.known;
  // GTK 2's file dialog starts in the folder it was started in rather than in recent files.
  auto settings = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "gtk-2.0";
  std::filesystem::create_directories(settings);
  std::ofstream(settings / "gtkfilechooser.ini") << "[Filechooser Settings]\nStartupMode=cwd\n";

  desktop::Process app(
      {"/bin/sh", "-c", "cd '" + folder.path + "' && " + replaced(row.command, name)});
  auto xid = desktop::windowOfProcess(app.pid(), 60000);
  ASSERT_TRUE(xid) << row.toolkit << " showed no window";
  ASSERT_TRUE(desktop::waitUntil([&] { return desktop::activeWindow() == xid; }, 10000));
  desktop::Hands hands;
  auto alive = [&](const std::string& verb) {
    EXPECT_TRUE(desktop::running(app.pid())) << row.appName << " died after " << verb;
  };
  auto act = [&](const std::string& step) {
    Json done = step.starts_with("=")
                    ? hands.result("type", {{"text", replaced(step.substr(1), name)}})
                    : hands.result("key", {{"key", step}});
    EXPECT_TRUE(done.is_object()) << step << ": " << hands.lastAnswer();
    alive(step);
  };

  Json front = hands.result("frontmost");
  alive("frontmost");
  ASSERT_TRUE(front.is_object()) << hands.lastAnswer();
  EXPECT_EQ(front["app"]["name"], row.appName);
  EXPECT_EQ(front["app"]["pid"], app.pid());

  for (const char* step : row.openKeys) {
    act(step);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // the dialog comes and goes
  }
  // The known text in reading order; a terminal's shell starts a moment after its window.
  Json read;
  desktop::waitUntil(
      [&] {
        read = hands.result("read_text");
        return read.value("text", "").find(row.readText) != std::string::npos;
      },
      15000);
  alive("read_text");
  EXPECT_NE(read.value("text", "").find(row.readText), std::string::npos) << read;
  if (row.hidden) {
    EXPECT_EQ(read.value("text", "").find(row.hidden), std::string::npos) << read;
  }
  if (row.below) {
    EXPECT_GT(read.value("text", "").find(row.below), read.value("text", "").find(row.readText))
        << read;
    EXPECT_NE(read.value("text", "").find(row.below), std::string::npos) << read;
  }

  auto window = desktop::windowGeometry(*xid);
  ASSERT_TRUE(window);
  Json listed = hands.result("elements", {{"max", 200}});
  alive("elements");
  ASSERT_TRUE(listed.is_object()) << hands.lastAnswer();
  for (const auto& r : listed["elements"])
    EXPECT_TRUE(inside(desktop::boxOf(r), *window)) << r << " lies outside " << *window;
  Json editor = firstOf(listed["elements"], "textarea");
  ASSERT_TRUE(editor.is_object()) << listed;
  // FocusWriter shows "Opening <file>" over its editor until the file is in.
  Json at;
  desktop::waitUntil(
      [&] {
        at = hands.result("app_at", centre(editor));
        return at.is_object() && at["role"] == "AXTextArea";
      },
      10000);
  alive("app_at");
  ASSERT_TRUE(at.is_object()) << hands.lastAnswer();
  EXPECT_EQ(at["app"]["pid"], app.pid());
  EXPECT_EQ(at["role"], "AXTextArea") << at << " at the centre of " << editor;

  if (row.password) {
    Json field;
    for (const auto& r : listed["elements"])
      if (r.value("secure", false)) field = r;
    ASSERT_TRUE(field.is_object()) << listed;
    EXPECT_EQ(listed.dump().find(desktop::APP_PASSWORD), std::string::npos);
    hands.result("click", centre(field));
    alive("click");
    EXPECT_EQ(hands.ask("type", {{"text", "secret"}}).value("code", ""), "secure_field");
    alive("type");
  }

  // A click into the text gives it the keys; what is typed goes at the end and is saved.
  ASSERT_TRUE(hands.result("click", centre(editor)).is_object()) << hands.lastAnswer();
  alive("click");
  if (!row.terminal) act("cmd+end");
  act("=" + std::string(row.typed));
  if (row.terminal) {
    act("cmd+d");
  } else if (row.saveByButton) {
    Json save = firstOf(hands.result("elements", {{"max", 200}})["elements"], "button", "Save");
    ASSERT_TRUE(save.is_object()) << hands.lastAnswer();
    ASSERT_TRUE(hands.result("click", centre(save)).is_object()) << hands.lastAnswer();
    alive("click");
  } else {
    act("cmd+s");
  }
  const std::string expected = replaced(row.saved, name);
  desktop::waitUntil([&] { return desktop::fileText(path) == expected; }, 10000);
  EXPECT_EQ(desktop::fileText(path), expected);
  alive("saving");
}

INSTANTIATE_TEST_SUITE_P(Debian, AtspiToolkit, ::testing::ValuesIn(APPS),
                         [](const auto& info) { return std::string(info.param.toolkit); });

// jEdit, Debian's Java editor, draws its text area itself and exposes it as a plain panel: its
// document is typed into and saved, and the text it does expose (its help, an HTML pane whose
// parts each answer the text from the pane's start) is read whole, once.
TEST(AtspiJava, JEditSavesWhatIsTypedAndItsHelpIsReadWhole) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  desktop::TempFolder folder;
  const std::string path = folder.path + "/note.txt";
  std::ofstream(path) << "First line\n";
  // Java takes its home from the password file, not HOME: both settings folders are the session's.
  std::string home = std::getenv("HOME");
  std::filesystem::create_directories(home + "/.jedit");
  std::ofstream(home + "/.jedit/properties") << "firstTime=false\ntip.show=false\n";
  desktop::Process app({"/bin/sh", "-c",
                        "cd '" + folder.path + "' && JAVA_CLASSPATH=" + JAVA_WRAPPER +
                            " JAVA_ARGS=\"-Duser.home=$HOME " + JAVA_ACCESSIBLE +
                            "\" exec /usr/bin/jedit -settings=\"$HOME/.jedit\" -nosplash "
                            "-noserver note.txt"});
  auto xid = desktop::windowOfProcess(app.pid(), 90000);
  ASSERT_TRUE(xid) << "jEdit showed no window";
  ASSERT_TRUE(desktop::waitUntil([&] { return desktop::activeWindow() == xid; }, 20000));
  desktop::Hands hands;
  auto alive = [&](const std::string& verb) {
    EXPECT_TRUE(desktop::running(app.pid())) << "jEdit died after " << verb;
  };

  // Its desktop entry names it, though AWT's window class is its main class. Java's bridge
  // tells of the window a moment after X has it.
  Json front;
  desktop::waitUntil(
      [&] {
        front = hands.result("frontmost");
        return front.is_object() && front["window"] == "jEdit - note.txt";
      },
      15000);
  alive("frontmost");
  ASSERT_TRUE(front.is_object()) << hands.lastAnswer();
  EXPECT_EQ(front["app"]["name"], "jEdit");
  EXPECT_EQ(front["app"]["bundle_id"], "jedit");
  EXPECT_EQ(front["window"], "jEdit - note.txt");

  auto window = desktop::windowGeometry(*xid);
  ASSERT_TRUE(window);
  Json save;
  desktop::waitUntil(
      [&] {
        save =
            firstOf(hands.result("elements", {{"max", 200}})["elements"], "button", "Save (C+s)");
        return save.is_object();
      },
      15000);
  alive("elements");
  ASSERT_TRUE(save.is_object()) << hands.lastAnswer();
  EXPECT_TRUE(inside(desktop::boxOf(save), *window)) << save << " lies outside " << *window;

  Json centre = {{"x", window->x + window->w / 2}, {"y", window->y + window->h / 2}};
  Json at = hands.result("app_at", centre);
  alive("app_at");
  ASSERT_TRUE(at.is_object()) << hands.lastAnswer();
  EXPECT_EQ(at["app"]["pid"], app.pid());

  ASSERT_TRUE(hands.result("click", centre).is_object()) << hands.lastAnswer();
  for (Json step : {Json{{"key", "cmd+end"}}, Json{{"text", "Typed by the test: Zoë"}},
                    Json{{"key", "cmd+s"}}}) {
    EXPECT_TRUE(hands.result(step.contains("key") ? "key" : "type", step).is_object())
        << step << ": " << hands.lastAnswer();
    alive(step.dump());
  }
  const std::string expected = "First line\nTyped by the test: Zoë";
  desktop::waitUntil([&] { return desktop::fileText(path) == expected; }, 10000);
  EXPECT_EQ(desktop::fileText(path), expected);

  // The help opens on its welcome page; every part of it is in the pane's one text.
  ASSERT_TRUE(hands.result("key", {{"key", "f1"}}).is_object()) << hands.lastAnswer();
  std::string text;
  desktop::waitUntil(
      [&] {
        text = hands.result("read_text").value("text", "");
        return text.find("Welcome to jEdit 5.5\nUseful menu commands:") != std::string::npos;
      },
      30000);
  alive("read_text");
  EXPECT_NE(text.find("Welcome to jEdit 5.5\nUseful menu commands:"), std::string::npos) << text;
  std::size_t count = 0;
  for (auto at = text.find("Welcome to jEdit 5.5"); at != text.npos;
       at = text.find("Welcome to jEdit 5.5", at + 1))
    ++count;
  EXPECT_EQ(count, 1u) << text;
  EXPECT_EQ(text.find("\nWelcome to jEdi\n"), std::string::npos) << text;
}

} // namespace
} // namespace plenk
