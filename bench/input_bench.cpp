// The X11 input backend's own cost, without the logic's pauses: one key press (a chord with a
// modifier), one typed chunk of 16 characters that the layout carries, one of 16 characters that
// must be bound to spare key codes, and one click. Outside a desktop session it runs itself again
// inside a private one (tools/desktop-session).
#include "platform/linux/x11_input.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using plenk::X11Input;

void keyPress(benchmark::State& state) {
  X11Input input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no X display with XTEST");
  for (auto _ : state) {
    auto down = input.createKeyEvent(source, 1, true); // "s"
    auto up = input.createKeyEvent(source, 1, false);
    down->flags = up->flags = plenk::FLAG_COMMAND;
    input.post(*down);
    input.post(*up);
  }
  input.finish();
}
BENCHMARK(keyPress)->Unit(benchmark::kMicrosecond);

void typeChunk(benchmark::State& state, std::vector<std::u16string> chunks) {
  X11Input input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no X display with XTEST");
  std::size_t i = 0;
  for (auto _ : state) {
    auto down = input.createKeyEvent(source, 0, true);
    auto up = input.createKeyEvent(source, 0, false);
    down->text = up->text = chunks[i++ % chunks.size()];
    input.post(*down);
    input.post(*up);
  }
  input.finish();
}
BENCHMARK_CAPTURE(typeChunk, layoutChunk, {u"The quick fox 12"})->Unit(benchmark::kMicrosecond);
// Two chunks of 16 different CJK characters in turn, so that every chunk binds 16 key codes.
BENCHMARK_CAPTURE(typeChunk, boundChunk,
                  {u"日本語の文字を打つ試験です一二三", u"四五六七八九十百千万円年月火水木"})
    ->Unit(benchmark::kMicrosecond);

void click(benchmark::State& state) {
  X11Input input;
  auto source = input.createSource();
  if (!source) return state.SkipWithError("no X display with XTEST");
  for (auto _ : state) {
    for (auto type : {plenk::MouseEventType::moved, plenk::MouseEventType::leftDown,
                      plenk::MouseEventType::leftUp})
      input.post(*input.createMouseEvent(source, type, {5, 5}, plenk::MouseButton::left));
  }
}
BENCHMARK(click)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY")) {
    std::string session = std::string(PLENK_BIN_DIR) + "/../../tools/desktop-session";
    std::vector<char*> args{session.data()};
    for (int i = 0; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(session.c_str(), args.data());
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
