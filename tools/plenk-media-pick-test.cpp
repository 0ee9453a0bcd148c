// plenk-media with a scripted in-memory picker in place of the system one, so that tests can run
// the pick verb end to end in a process of its own and check its line, its diagnostic and its
// exit status. Everything else is this machine's real platform.
//
//   plenk-media-pick-test <script.json> pick --out <dir> [options...]
//
// The script: {"tempDir": where loads put their temporary files,
//              "shownTo": a file to write the picker's configuration into when it is shown,
//              "ending": "answer" | "cancel" | "close" | "never", "closeAfterAnswer": bool,
//              "timing": "oneByOne" | "together", "deadline": "now" | "real",
//              "types": [{"id", "ext", "parents"}],
//              "items": [{"types": [ids], "files": {id: path}, "rank": n}]}
#include "media/frame/run.hpp"
#include "platform/json.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/memory/fixed_system.hpp"
#include "platform/memory/pdf.hpp"
#include "platform/memory/picker.hpp"
#include "platform/memory/recognition.hpp"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace plenk;

// With "deadline": "now" the deadline fires at once, racing whatever the session does.
struct ScriptTimer final : Timer {
  bool now = false;
  void once(std::int64_t millis, std::function<void()> handler) override {
    if (now)
      std::thread(std::move(handler)).detach();
    else
      threadTimer().once(millis, std::move(handler));
  }
};

const char* name(PickerFilter f) {
  switch (f) {
  case PickerFilter::images:
    return "images";
  case PickerFilter::videos:
    return "videos";
  case PickerFilter::imagesAndVideos:
    return "imagesAndVideos";
  }
  return "";
}

const char* name(PickerRepresentation r) {
  switch (r) {
  case PickerRepresentation::automatic:
    return "automatic";
  case PickerRepresentation::current:
    return "current";
  case PickerRepresentation::compatible:
    return "compatible";
  }
  return "";
}

const char* name(PickerPresentation p) {
  switch (p) {
  case PickerPresentation::window:
    return "window";
  case PickerPresentation::sheet:
    return "sheet";
  case PickerPresentation::modal:
    return "modal";
  }
  return "";
}

// Writes down how the picker was shown (the run may end at any moment after), then hands on.
struct ShownPicker final : Picker {
  ShownPicker(MemoryPicker& inner, std::string shownTo)
      : inner(inner), shownTo(std::move(shownTo)) {}
  void show(const PickerConfiguration& c, PickerPresentation p, const PickerWindow& w,
            PickerDelegate& d) override {
    Json shown = {{"limit", c.selectionLimit},
                  {"filter", name(c.filter)},
                  {"representation", name(c.representation)},
                  {"ordered", c.selection == PickerSelection::ordered},
                  {"presentation", name(p)},
                  {"title", w.title},
                  {"width", w.width},
                  {"height", w.height}};
    if (!shownTo.empty()) std::ofstream(shownTo) << shown.dump();
    inner.show(c, p, w, d);
  }
  void hide() override { inner.hide(); }
  void run() override { inner.run(); }
  MemoryPicker& inner;
  std::string shownTo;
};

MemoryPickEnding ending(const std::string& s) {
  if (s == "cancel") return MemoryPickEnding::cancel;
  if (s == "close") return MemoryPickEnding::closeWindow;
  if (s == "never") return MemoryPickEnding::never;
  return MemoryPickEnding::answer;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: plenk-media-pick-test <script.json> <plenk-media arguments...>\n";
    return 64;
  }
  std::ifstream in(argv[1]);
  std::stringstream text;
  text << in.rdbuf();
  auto script = json::parse(text.str());
  if (!script || !script->is_object()) {
    std::cerr << "plenk-media-pick-test: the script is not a JSON object\n";
    return 64;
  }
  try {
    MemoryFileTypes types;
    for (const auto& t : script->value("types", Json::array())) {
      std::optional<std::string> ext;
      if (t.contains("ext")) ext = t["ext"].get<std::string>();
      types.add(t["id"], ext, t.value("parents", std::vector<std::string>{}));
    }
    MemoryPicker memory(types, script->value("tempDir", std::string("/tmp")));
    for (const auto& item : script->value("items", Json::array())) {
      MemoryPickItem m;
      m.types = item.value("types", std::vector<std::string>{});
      m.files = item.value("files", std::map<std::string, std::string>{});
      if (item.contains("rank")) m.rank = item["rank"].get<int>();
      memory.items.push_back(std::move(m));
    }
    memory.ending = ending(script->value("ending", std::string("answer")));
    memory.closeAfterAnswer = script->value("closeAfterAnswer", false);
    if (script->value("timing", std::string()) == "together")
      memory.timing = MemoryLoadTiming::together;
    ShownPicker picker(memory, script->value("shownTo", std::string()));

    ScriptTimer timer;
    timer.now = script->value("deadline", std::string()) == "now";
    FixedSystem system;
    system.pick = true;
    MemoryPdf pdf;
    MemoryRecogniser recogniser;
    auto images = linuxImages();
    auto recordings = linuxRecordings();
    media::Media media{.clock = steadyClock(),
                       .files = systemFiles(),
                       .system = system,
                       .console = processConsole(),
                       .timer = timer,
                       .pdf = pdf,
                       .recogniser = recogniser,
                       .images = *images,
                       .recordings = *recordings,
                       .picker = &picker,
                       .fileTypes = &types};
    std::vector<std::string> args(argv + 2, argv + argc);
    return media::runMedia(media, args);
  } catch (const Json::exception& e) {
    std::cerr << "plenk-media-pick-test: bad script: " << e.what() << "\n";
    return 64;
  }
}
