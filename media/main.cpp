// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"

int main(int argc, char** argv) {
  using namespace plenk;
  std::unique_ptr<Images> images = linuxImages();
  std::unique_ptr<Recordings> recordings = linuxRecordings();
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer(),
                     .images = *images,
                     .recordings = *recordings};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return media::runMedia(media, args);
}
