// Which entry a window belongs to, and how entries appear as bundles: the rules over entries
// built here (the desktop tests read real ones).
#include "platform/linux/workspace_entries.hpp"

#include <gtest/gtest.h>

namespace plenk::desktop_entries {
namespace {

Entry entry(std::string id, std::string name, std::string executable = "",
            std::string wmClass = "") {
  Entry e;
  e.id = std::move(id);
  e.name = std::move(name);
  e.file = "/usr/share/applications/" + e.id + ".desktop";
  e.location = "/Applications/" + e.name + ".app";
  e.executable = std::move(executable);
  e.startupWMClass = std::move(wmClass);
  return e;
}

TEST(DesktopEntries, WindowsMatchByClassThenAppIdThenIdThenExecutable) {
  Catalogue c;
  c.entries = {entry("python3.11", "Python (v3.11)"), // its command is an interpreter: none
               entry("org.gnome.TextEditor", "Text Editor", "gnome-text-editor"),
               entry("chromium", "Chromium Web Browser", "chromium", "chromium"),
               entry("org.example.Viewer", "Viewer", "viewer", "Viewer"),
               entry("firefox-esr", "Firefox ESR", "firefox-esr")};
  struct Case {
    ewmh::WindowFacts window;
    std::string executable;
    const char* expected; // id, or nullptr
  };
  auto w = [](std::string instance, std::string cls, std::string appId = "") {
    ewmh::WindowFacts f;
    f.instance = std::move(instance);
    f.windowClass = std::move(cls);
    f.appId = std::move(appId);
    return f;
  };
  const Case cases[] = {
      {w("chromium", "Chromium"), "chromium", "chromium"},
      {w("viewer", "VIEWER"), "", "org.example.Viewer"}, // StartupWMClass in any case
      {w("gnome-text-editor", "Gnome-text-editor", "org.gnome.TextEditor"), "",
       "org.gnome.TextEditor"},
      {w("org.gnome.TextEditor", "org.gnome.TextEditor"), "", "org.gnome.TextEditor"},
      {w("Navigator", "firefox-esr"), "", "firefox-esr"},
      {w("tool", "Tool"), "gnome-text-editor", "org.gnome.TextEditor"},
      // StartupWMClass wins over an executable that names another entry.
      {w("viewer", "Viewer"), "chromium", "org.example.Viewer"},
      // A Python program: its interpreter says nothing about it.
      {w("plenkgamma", "PlenkGamma"), "python3.11", nullptr},
      // A Java program: its window class is its main class, whose own name is the entry's.
      {w("sun-awt-X11-XFramePeer", "org-example-Viewer"), "java", "org.example.Viewer"},
      {w("sun-awt-X11-XFramePeer", "org-example-Editor"), "java", nullptr},
      {w("", ""), "", nullptr},
  };
  for (const auto& t : cases) {
    const Entry* found = c.forWindow(t.window, t.executable);
    if (!t.expected)
      EXPECT_EQ(found, nullptr) << t.window.windowClass << " matched " << found->id;
    else
      EXPECT_TRUE(found && found->id == t.expected)
          << t.window.windowClass << ": " << (found ? found->id : "none");
  }
}

TEST(DesktopEntries, BundleLocationsAliasesAndIds) {
  Catalogue c;
  c.entries = {entry("org.gnome.TextEditor", "Text Editor", "gnome-text-editor"),
               entry("vim", "Vim", "vim")};
  c.entries[0].aliases = {"org.gnome.TextEditor", "gnome-text-editor"};
  EXPECT_EQ(c.listing(), (std::vector<std::string>{"Text Editor.app", "Vim.app"}));
  for (const char* path : {"/Applications/Text Editor.app", "/Applications/text editor.APP",
                           "/usr/share/applications/org.gnome.TextEditor.desktop"})
    EXPECT_TRUE(c.byLocation(path) && c.byLocation(path)->id == "org.gnome.TextEditor") << path;
  for (const char* path :
       {"/Applications/Nothing.app", "/Applications/gnome-text-editor.APP", "/Applications/Vim",
        "/Applications/x/Vim.app", "/Applications", "/tmp/Vim.app"})
    EXPECT_EQ(c.byLocation(path), nullptr) << path;
  for (const char* id :
       {"org.gnome.TextEditor", "org.gnome.texteditor", "org.gnome.TextEditor.desktop"})
    EXPECT_TRUE(c.byId(id) && c.byId(id)->name == "Text Editor") << id;
  EXPECT_EQ(c.byId(""), nullptr);
  EXPECT_EQ(c.byId(".desktop"), nullptr);
}

TEST(DesktopEntries, InterpretersAreNoApplications) {
  for (const char* name : {"python3", "python3.11", "sh", "env", "perl5.36", "flatpak"})
    EXPECT_TRUE(isInterpreter(name)) << name;
  for (const char* name : {"gimp", "chromium", "vim", "shotwell"})
    EXPECT_FALSE(isInterpreter(name)) << name;
}

} // namespace
} // namespace plenk::desktop_entries
