// The cost of screen reading's own logic on the in-memory desktop, with no read latency: the
// elements verb over a 6,000-element window, and read_text answering 50,000 characters.
#include "hands/context.hpp"
#include "hands/verbs.hpp"
#include "platform/memory/desktop.hpp"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using namespace plenk;

constexpr int PID = 100;

RunningApp benchApp() {
  RunningApp app;
  app.pid = PID;
  app.name = "Bench";
  app.bundleId = "com.example.bench";
  return app;
}

Attributes frameAt(double x, double y, double w, double h) {
  return {{"AXPosition", Point{x, y}}, {"AXSize", Size{w, h}}};
}

struct Scene {
  MemoryDesktop desktop;
  hands::Hands hands{desktop, desktop, desktop, desktop.clock(), {}, {}};
  Element window;

  Scene() {
    desktop.trusted = true;
    desktop.keepCalls(false);
    Element app = desktop.addApp(benchApp());
    desktop.setFrontmost(PID);
    Attributes windowAttributes = frameAt(0, 0, 1600, 1000);
    windowAttributes.push_back({"AXTitle", std::string("A long document")});
    window = desktop.add(app, "AXWindow", windowAttributes);
    desktop.set(app, "AXFocusedWindow", window);
  }
};

// 6,000 elements in all: sections of rows, each row a group holding a text, and every 30th row a
// button; fewer than 250 interactive elements, so the walk takes in the whole window.
void buildElementsScene(Scene& s) {
  int made = 1;
  int row = 0;
  while (made < 6000) {
    Element section = s.desktop.add(s.window, "AXGroup", frameAt(0, 0, 1600, 1000));
    ++made;
    for (int i = 0; i < 20 && made < 6000; ++i, ++row) {
      Element line = s.desktop.add(section, "AXGroup", frameAt(0, row % 900, 1600, 20));
      ++made;
      if (made < 6000) {
        Attributes text = frameAt(10, row % 900, 400, 18);
        text.push_back({"AXValue", "Row " + std::to_string(row) + " of the quarterly figures"});
        s.desktop.add(line, "AXStaticText", text);
        ++made;
      }
      if (row % 30 == 0 && made < 6000) {
        Attributes button = frameAt(500, row % 900, 60, 18);
        button.push_back({"AXTitle", std::string("Open ") + std::to_string(row)});
        s.desktop.add(line, "AXButton", button);
        ++made;
      }
    }
  }
}

void BM_ElementsVerb6000(benchmark::State& state) {
  Scene s;
  buildElementsScene(s);
  Json last;
  for (auto _ : state) {
    last = hands::verbElements(s.hands, Json::object());
    benchmark::DoNotOptimize(last);
  }
  state.counters["records"] = static_cast<double>(last["elements"].size());
  state.counters["truncated"] = last["truncated"].get<bool>() ? 1 : 0;
}
BENCHMARK(BM_ElementsVerb6000)->Unit(benchmark::kMillisecond);

// The floor under the verb: only the reads the walk cannot do without (every element's role and
// children, the rectangle of candidates), with no logic. The verb's time less this is ours.
void BM_ElementsReadsOnly6000(benchmark::State& state) {
  Scene s;
  buildElementsScene(s);
  for (auto _ : state) {
    std::vector<Element> stack{s.window};
    int reads = 0;
    while (!stack.empty()) {
      Element e = std::move(stack.back());
      stack.pop_back();
      auto role = s.desktop.copyAttribute(e, "AXRole");
      ++reads;
      if (role.ok() && std::get<std::string>(*role.value) != "AXGroup" &&
          std::get<std::string>(*role.value) != "AXWindow") {
        benchmark::DoNotOptimize(s.desktop.copyAttribute(e, "AXPosition"));
        benchmark::DoNotOptimize(s.desktop.copyAttribute(e, "AXSize"));
        reads += 2;
      }
      auto children = s.desktop.copyAttribute(e, "AXChildren");
      ++reads;
      if (children.ok())
        for (auto& child : std::get<std::vector<Element>>(*children.value))
          stack.push_back(child);
    }
    benchmark::DoNotOptimize(reads);
  }
}
BENCHMARK(BM_ElementsReadsOnly6000)->Unit(benchmark::kMillisecond);

// 1,200 paragraphs of about 60 characters: more than read_text may answer at 50,000.
void BM_ReadText50000(benchmark::State& state) {
  Scene s;
  for (int i = 0; i < 1200; ++i) {
    Element block = s.desktop.add(s.window, "AXGroup");
    Attributes text = frameAt(10, i % 900, 800, 18);
    text.push_back({"AXValue", "Paragraph " + std::to_string(i) +
                                   ": the quick brown fox jumps over the lazy dog."});
    s.desktop.add(block, "AXStaticText", text);
  }
  Json last;
  for (auto _ : state) {
    last = hands::verbReadText(s.hands, Json{{"max_chars", 50000}});
    benchmark::DoNotOptimize(last);
  }
  state.counters["chars"] = static_cast<double>(last["text"].get<std::string>().size());
}
BENCHMARK(BM_ReadText50000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
