// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"
#include "platform/linux/one_thread.hpp"
#include "platform/linux/pdf.hpp"
#include "platform/linux/recognition.hpp"

int main(int argc, char** argv) {
  using namespace plenk;
  // Before anything else: the restart replaces the process with the same arguments.
  restartWithOneOpenMpThread(SELF_EXE, argv);
  const auto pdf = popplerPdf();
  const auto recogniser = tesseractRecogniser();
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer(),
                     .pdf = *pdf,
                     .recogniser = *recogniser};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return media::runMedia(media, args);
}
