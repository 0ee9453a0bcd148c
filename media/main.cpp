// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"

int main(int argc, char** argv) {
  using namespace plenk;
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer()};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return media::runMedia(media, args);
}
