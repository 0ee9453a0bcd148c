// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"
#include "platform/linux/images.hpp"
#include "platform/linux/media.hpp"
#include "platform/linux/one_thread.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"

#include <string_view>

int main(int argc, char** argv) {
  using namespace plenk;
  // Before anything else: the restart replaces the process with the same arguments. Only ocr
  // runs the recogniser, so only ocr pays for a second start.
  if (argc > 1 && std::string_view(argv[1]) == "ocr") restartWithOneOpenMpThread(SELF_EXE, argv);
  const auto pdf = popplerPdf();
  const auto recogniser = tesseractRecogniser();
  std::unique_ptr<Images> images = linuxImages();
  std::unique_ptr<Recordings> recordings = linuxRecordings();
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer(),
                     .pdf = *pdf,
                     .recogniser = *recogniser,
                     .images = *images,
                     .recordings = *recordings};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return media::runMedia(media, args);
}
