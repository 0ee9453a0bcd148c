// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"
#include "platform/linux/loaded_services.hpp"
#include "platform/linux/one_thread.hpp"

#include <string_view>

int main(int argc, char** argv) {
  using namespace plenk;
  // Before anything else: the restart replaces the process with the same arguments. Only ocr
  // runs the recogniser, so only ocr pays for a second start.
  if (argc > 1 && std::string_view(argv[1]) == "ocr") restartWithOneOpenMpThread(SELF_EXE, argv);
  // PDF, recognition, pictures and recordings load their libraries when a verb first uses them,
  // so a job that needs none of them (probe, a refused command line) starts in a few milliseconds.
  LoadedServices services = servicesOnFirstUse(serviceModuleBeside());
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer(),
                     .pdf = *services.pdf,
                     .recogniser = *services.recogniser,
                     .images = *services.images,
                     .recordings = *services.recordings};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return media::runMedia(media, args);
}
