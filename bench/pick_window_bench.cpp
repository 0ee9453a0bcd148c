// Time to the first thumbnails: the picker window over a library of 10,000 photographs (small
// JPEG copies with distinct modification times), from show until the first tile and then the
// first screenful of tiles show their thumbnails, and until the whole library is listed.
// Needs a display: outside one it runs itself again inside tools/desktop-session.
//
//   build/release/pick_window_bench [FILES]
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/picker/gtk_picker.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace plenk;
using Clock = std::chrono::steady_clock;

struct NoSession final : PickerDelegate {
  void pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>>) override {}
  void pickerWindowWillClose() override {}
};

double ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    std::string session = std::string(PLENK_SOURCE_DIR) + "/tools/desktop-session";
    std::vector<char*> args{session.data()};
    for (int i = 0; i < argc; ++i)
      args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(session.c_str(), args.data());
    std::perror("pick_window_bench: tools/desktop-session");
    return 1;
  }
  const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  const fs::path root =
      fs::temp_directory_path() / ("plenk-bench-library-" + std::to_string(files));
  const fs::path pictures = root / "Pictures";
  // Made once and kept: ImageMagick makes one photograph, the rest are copies of it.
  if (!fs::exists(root / "complete")) {
    fs::remove_all(root);
    fs::create_directories(pictures);
    std::string first = (pictures / "IMG_00000.jpg").string();
    std::system(
        ("/usr/bin/convert -size 640x480 plasma:fractal -quality 85 '" + first + "'").c_str());
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%03d/IMG_%05d.jpg", i / 500, i);
      fs::path p = pictures / name;
      fs::create_directories(p.parent_path());
      if (i > 0)
        fs::copy_file(pictures / "000/IMG_00000.jpg", p, fs::copy_options::overwrite_existing);
      else
        fs::rename(first, p);
      fs::last_write_time(p, now - std::chrono::seconds(i));
    }
    std::ofstream(root / "complete") << files;
  }
  fs::create_directories(root / "config");
  std::ofstream(root / "config/user-dirs.dirs")
      << "XDG_PICTURES_DIR=\"" << pictures.string() << "\"\nXDG_VIDEOS_DIR=\""
      << (root / "Videos").string() << "\"\n";
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);

  auto images = linuxImages();
  auto recordings = linuxRecordings();
  Clock::time_point start, allMade, firstListed, firstBound, firstTile, firstScreen, listed;
  std::size_t tilesMade = 0;
  bool haveAll = false;
  bool haveFirst = false, haveBound = false, haveTile = false, haveScreen = false,
       haveListed = false;
  auto report = [&] {
    std::printf("pick_window_bench: %d photographs\n", files);
    std::printf("  first items in the grid    %8.1f ms\n", ms(start, firstListed));
    std::printf("  first tile made            %8.1f ms\n", ms(start, firstBound));
    std::printf("  first thumbnail shown      %8.1f ms\n", ms(start, firstTile));
    std::printf("  first screenful (20 tiles) %8.1f ms\n", ms(start, firstScreen));
    std::printf("  all %4zu tiles made        %8.1f ms\n", tilesMade, ms(start, allMade));
    std::printf("  whole library listed       %8.1f ms\n", ms(start, listed));
    std::fflush(stdout);
    ::_exit(0);
  };
  auto picker = gtkPicker(*images, *recordings, [&](const PickerProgress& p) {
    auto now = Clock::now();
    if (!haveFirst && p.listed > 0) haveFirst = true, firstListed = now;
    if (!haveBound && p.onScreen > 0) haveBound = true, firstBound = now;
    if (!haveTile && p.thumbnails > 0) haveTile = true, firstTile = now;
    // 900 by 640 shows four rows of five tiles.
    if (!haveScreen && p.leading >= std::min<std::size_t>(20, files))
      haveScreen = true, firstScreen = now;
    if (!haveAll && p.onScreen > 0 && p.thumbnails == p.onScreen && haveListed)
      haveAll = true, allMade = now, tilesMade = p.onScreen;
    if (!haveListed && p.listed >= static_cast<std::size_t>(files)) haveListed = true, listed = now;
    if (haveTile && haveScreen && haveListed && haveAll) report();
  });
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(120));
    std::fprintf(stderr, "pick_window_bench: no thumbnails within 120 s\n");
    ::_exit(1);
  }).detach();
  NoSession session;
  PickerConfiguration config;
  config.selectionLimit = 8;
  config.selection = PickerSelection::ordered;
  start = Clock::now();
  picker->show(config, PickerPresentation::window, {"Choose from Photos", 900, 640}, session);
  picker->run();
}
