// The cost of reading a real window through AT-SPI, per element: a walk as the elements verb
// makes it (role and children of every element; rectangle, label, value and state of the
// candidates) over a GTK 3 and a GTK 4 window of 2,500 list rows, a Chromium page of 5,000 list
// entries, a Firefox page of 5,000 paragraphs and a LibreOffice Writer document of 50 pages,
// twice (the first request and a later one); then the elements and read_text verbs themselves
// over the same windows.
//
// Runs itself inside tools/desktop-session when started outside a desktop session.
#include "hands/context.hpp"
#include "hands/verbs.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/memory/desktop.hpp"
#include "tests/desktop/desktop.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace plenk;
using Clock = std::chrono::steady_clock;

const std::set<std::string> CANDIDATES{
    "AXButton",   "AXTextField", "AXTextArea",    "AXCheckBox",   "AXRadioButton", "AXPopUpButton",
    "AXComboBox", "AXMenuItem",  "AXMenuBarItem", "AXMenuButton", "AXLink",        "AXTab",
    "AXRow",      "AXCell",      "AXSlider",      "AXStaticText", "AXSearchField", "AXDateField"};

struct WalkCost {
  int elements = 0;
  double ms = 0;
  double ownCpuMs = 0, appCpuMs = 0; // where the time went: this process, the application
  AtspiCounters counters;
};

double ownCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// User and system time of a process and its threads, from /proc.
double cpuMsOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  // After the name: state is field 3; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks * 1e3 / double(sysconf(_SC_CLK_TCK));
}

// Depth first from the front window, at most 6,000 elements, reading what the elements verb
// reads of each.
WalkCost walk(int pid) {
  AtspiAccessibility ax;
  auto start = Clock::now();
  double ownStart = ownCpuMs(), appStart = cpuMsOf(pid);
  Element app = ax.application(pid);
  // This measures throughput: a long timeout keeps a loaded machine from cutting the walk short.
  ax.setMessagingTimeout(app, 30.0f);
  auto window = ax.copyAttribute(app, "AXFocusedWindow");
  if (!window.ok()) window = ax.copyAttribute(app, "AXMainWindow");
  WalkCost cost;
  if (!window.ok()) return cost;
  std::vector<Element> stack{std::get<Element>(*window.value)};
  while (!stack.empty() && cost.elements < 6000) {
    Element e = std::move(stack.back());
    stack.pop_back();
    ++cost.elements;
    auto role = ax.copyAttribute(e, "AXRole");
    if (role.ok() && CANDIDATES.contains(std::get<std::string>(*role.value))) {
      for (const char* name : {"AXPosition", "AXSize", "AXSubrole", "AXTitle", "AXEnabled"})
        ax.copyAttribute(e, name);
      if (std::get<std::string>(*role.value) != "AXButton") ax.copyAttribute(e, "AXValue");
    }
    auto children = ax.copyAttribute(e, "AXChildren");
    if (children.ok())
      for (auto it = std::get<std::vector<Element>>(*children.value).rbegin();
           it != std::get<std::vector<Element>>(*children.value).rend(); ++it)
        stack.push_back(*it);
  }
  cost.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  cost.ownCpuMs = ownCpuMs() - ownStart;
  cost.appCpuMs = cpuMsOf(pid) - appStart;
  cost.counters = ax.counters();
  return cost;
}

// One plenk-hands for every request, as the host keeps one: a browser is woken once.
hands::Hands& theHands() {
  static AtspiAccessibility ax;
  static MemoryDesktop input;
  static LinuxWorkspace workspace;
  static hands::Hands hands{ax, input, workspace, steadyClock(), {}, {}};
  return hands;
}

double verbMillis(const char* verb, Json args, std::string& summary) {
  hands::Hands& hands = theHands();
  auto start = Clock::now();
  Json result = std::string(verb) == "elements" ? hands::verbElements(hands, args)
                                                : hands::verbReadText(hands, args);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (result.contains("elements"))
    summary = std::to_string(result["elements"].size()) + " records";
  else
    summary = std::to_string(result.value("text", std::string()).size()) + " bytes of text";
  summary += result.value("truncated", false) ? ", truncated" : "";
  return ms;
}

// The first request to an application that has not been read yet, which wakes a browser's or
// an office suite's accessibility.
void wake(const char* target) {
  std::string summary;
  double ms = verbMillis("elements", Json::object(), summary);
  std::printf("%-22s first elements request: %8.1f ms (%s)\n", target, ms, summary.c_str());
  std::this_thread::sleep_for(std::chrono::seconds(3));
}

void report(const char* target, int pid) {
  // Twice: GTK 4 builds its cache of accessibles as they are first asked for, so a second
  // request finds them all there.
  for (int run : {0, 1}) {
    WalkCost c = walk(pid);
    std::printf("%-22s %-6s walk: %5d elements in %8.1f ms = %.3f ms/element (%llu calls, "
                "%llu waits; cpu: ours %.0f ms, app %.0f ms)\n",
                target, run == 0 ? "first" : "again", c.elements, c.ms,
                c.elements ? c.ms / c.elements : 0.0,
                static_cast<unsigned long long>(c.counters.calls),
                static_cast<unsigned long long>(c.counters.batches), c.ownCpuMs, c.appCpuMs);
    for (const auto& [method, count] : c.counters.byMethod)
      std::printf("    %s %llu", method.c_str(), static_cast<unsigned long long>(count));
    std::printf("\n");
  }
  std::string summary;
  double ms = verbMillis("elements", Json::object(), summary);
  std::printf("%-22s elements verb: %8.1f ms (%s)\n", target, ms, summary.c_str());
  ms = verbMillis("read_text", Json{{"max_chars", 50000}}, summary);
  std::printf("%-22s read_text verb: %8.1f ms (%s)\n", target, ms, summary.c_str());
  std::fflush(stdout);
}

// A page of `count` paragraphs of a few sentences each.
std::string paragraphsPage(const std::string& folder, int count) {
  std::string path = folder + "/paragraphs.html";
  std::ofstream page(path);
  page << "<!doctype html><meta charset=utf-8><title>Paragraphs</title><h1>Paragraphs</h1>\n";
  for (int i = 1; i <= count; ++i)
    page << "<p>Paragraph " << i << " of the page: a sentence of ordinary length, and a second "
         << "one, with <a href=#p" << i << ">a link</a> inside it.</p>\n";
  return "file://" + path;
}

// A Writer document of `pages` pages (flat ODF: a page break before each page's heading).
std::string writerDocument(const std::string& folder, int pages) {
  std::string path = folder + "/pages.fodt";
  std::ofstream doc(path);
  doc << R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles><style:style style:name="Break" style:family="paragraph">
<style:paragraph-properties fo:break-before="page"/></style:style></office:automatic-styles>
<office:body><office:text>
)";
  for (int p = 1; p <= pages; ++p) {
    doc << "<text:p text:style-name=\"Break\">Page " << p << "</text:p>\n";
    for (int i = 1; i <= 8; ++i)
      doc << "<text:p>Paragraph " << i << " of page " << p
          << ": a sentence of ordinary length, then another that carries on for a while so "
             "that the paragraph takes a few lines of the page, as a letter or a report does. "
             "A third sentence ends it.</text:p>\n";
  }
  doc << "</office:text></office:body></office:document>\n";
  return path;
}

void measureFirefox() {
  desktop::TempFolder folder;
  auto browser = desktop::Browser::startFirefox(paragraphsPage(folder.path, 5000));
  if (!browser) {
    std::printf("Firefox did not come up\n");
    return;
  }
  desktop::waitUntil([&] { return desktop::activeWindow() == browser->xid; }, 20000);
  wake("Firefox, 5000 paragraphs");
  report("Firefox, 5000 paragraphs", browser->pid());
}

void measureWriter() {
  desktop::TempFolder folder;
  std::string path = writerDocument(folder.path, 50);
  desktop::Process launcher({"/usr/bin/libreoffice", "--norestore", "--nologo", "--writer", path});
  // The launcher hands over to soffice.bin: the window's owner is the process to read.
  std::optional<unsigned long> xid;
  desktop::waitUntil(
      [&] {
        xid = desktop::activeWindow();
        return xid && desktop::activeWindowTitle().find("pages") != std::string::npos;
      },
      120000);
  auto pid = xid ? desktop::windowPid(*xid) : std::nullopt;
  if (!pid) {
    std::printf("Writer did not come up\n");
    return;
  }
  wake("Writer, 50 pages");
  report("Writer, 50 pages", *pid);
  desktop::shell("kill " + std::to_string(*pid));
}

} // namespace

int main(int, char** argv) {
  if (!desktop::sessionProblem().empty()) {
    // Outside a desktop session (./dev bench): run again inside a private one.
    std::string session = plenk::testing::sourceDir() + "/tools/desktop-session";
    if (!std::getenv("PLENK_DESKTOP_SESSION")) {
      char* args[] = {session.data(), argv[0], nullptr};
      ::execv(session.c_str(), args);
    }
    std::printf("atspi_bench: needs a desktop session: %s %s\n", session.c_str(), argv[0]);
    return 0;
  }
  for (auto [toolkit, name] : {std::pair{desktop::Toolkit::gtk3, "GTK 3, 2500 rows"},
                               std::pair{desktop::Toolkit::gtk4, "GTK 4, 2500 rows"}}) {
    auto app = desktop::startApp(toolkit, {"--rows", "2500"}, 120000);
    if (!app || !app->waitActive()) {
      std::printf("%s: the test app did not come up\n", name);
      continue;
    }
    report(name, app->pid());
  }
  {
    auto browser = desktop::Browser::start(desktop::Browser::pageUrl(5000));
    if (!browser) {
      std::printf("Chromium did not come up\n");
    } else {
      desktop::waitUntil([&] { return desktop::activeWindow() == browser->xid; }, 20000);
      wake("Chromium, 5000 entries");
      report("Chromium, 5000 entries", browser->pid());
    }
  }
  measureFirefox();
  measureWriter();
}
