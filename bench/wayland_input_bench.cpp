// The Wayland backends' own cost on sway, without the logic's pauses: a click, a key chord with a
// modifier, 1,000 characters of mixed scripts typed in chunks of 16 (each new character costs a
// keymap upload), and the front application from sway's tree. Outside a sway session it runs
// itself again inside a private one (tools/wayland-session), with a GTK 4 window to type into.
#include "platform/linux/compositor_workspace.hpp"
#include "platform/linux/wayland_input.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using plenk::WaylandInput;

// Latin, Greek, Cyrillic, Hebrew, CJK, emoji: 1,000 UTF-16 units, most characters different.
std::u16string mixedText() {
  const std::u16string pieces[] = {
      u"Zoë Ünal — naïve café ",      u"ΑΒΓΔ αβγδ ",   u"Привет мир ", u"שלום עולם ",
      u"日本語の文字を打つ試験です ", u"😀👍🏽 "};
  std::u16string text;
  for (std::size_t i = 0; text.size() < 1000; ++i)
    text += pieces[i % std::size(pieces)];
  text.resize(1000);
  // Never end inside a surrogate pair.
  if (text.back() >= 0xd800 && text.back() <= 0xdbff) text.back() = u'.';
  return text;
}

void keyChord(benchmark::State& state) {
  WaylandInput input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no compositor with virtual devices");
  for (auto _ : state) {
    auto down = input.createKeyEvent(source, 1, true); // "s"
    auto up = input.createKeyEvent(source, 1, false);
    down->flags = up->flags = plenk::FLAG_COMMAND;
    input.post(*down);
    input.post(*up);
  }
  input.finish();
}
BENCHMARK(keyChord)->Unit(benchmark::kMicrosecond);

void type1000(benchmark::State& state) {
  WaylandInput input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no compositor with virtual devices");
  std::u16string text = mixedText();
  for (auto _ : state) {
    for (std::size_t at = 0; at < text.size();) {
      std::size_t n = std::min<std::size_t>(16, text.size() - at);
      // A chunk never ends between the two halves of a pair.
      if (at + n < text.size() && text[at + n - 1] >= 0xd800 && text[at + n - 1] <= 0xdbff) ++n;
      auto down = input.createKeyEvent(source, 0, true);
      auto up = input.createKeyEvent(source, 0, false);
      down->text = up->text = text.substr(at, n);
      input.post(*down);
      input.post(*up);
      at += n;
    }
  }
  input.finish();
}
BENCHMARK(type1000)->Unit(benchmark::kMillisecond);

void click(benchmark::State& state) {
  WaylandInput input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no compositor with virtual devices");
  for (auto _ : state) {
    for (auto type : {plenk::MouseEventType::moved, plenk::MouseEventType::leftDown,
                      plenk::MouseEventType::leftUp})
      input.post(*input.createMouseEvent(source, type, {5, 5}, plenk::MouseButton::left));
  }
}
BENCHMARK(click)->Unit(benchmark::kMicrosecond);

void frontmost(benchmark::State& state) {
  plenk::CompositorWorkspace workspace(plenk::swayCompositor());
  for (auto _ : state)
    benchmark::DoNotOptimize(workspace.frontmostApplication());
}
BENCHMARK(frontmost)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("SWAYSOCK")) {
    std::string session = std::string(PLENK_BIN_DIR) + "/../../tools/wayland-session";
    std::string script = std::string(PLENK_BIN_DIR) + "/../../tests/desktop/apps/input_probe.py";
    // The probe window takes what is typed, as a user's window would.
    std::string command = "/usr/bin/python3 '" + script + "' 4 >/dev/null 2>&1 & sleep 3; exec";
    std::vector<std::string> words{session, "sh", "-c", command + " \"$0\" \"$@\""};
    for (int i = 0; i < argc; ++i)
      words.push_back(argv[i]);
    std::vector<char*> args;
    for (auto& w : words)
      args.push_back(w.data());
    args.push_back(nullptr);
    execv(session.c_str(), args.data());
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
