// plenk-media: the real platform of this machine, built in this one place, and one run.
#include "media/frame/run.hpp"
#include "platform/console.hpp"
#include "platform/linux/file_types.hpp"
#include "platform/linux/on_demand.hpp"
#include "platform/linux/one_thread.hpp"
#include "platform/linux/watched.hpp"
#include "platform/linux/wording.hpp"

#include <optional>
#include <string_view>

int main(int argc, char** argv) {
  using namespace plenk;
  guardStandardStreams();
  // Before anything else: the restart replaces the process with the same arguments. Only ocr
  // runs the recogniser, so only ocr pays for a second start.
  if (argc > 1 && std::string_view(argv[1]) == "ocr") restartWithOneOpenMpThread(SELF_EXE, argv);
  // The picker runs in a child, before any thread exists: GDK ends a process whose display fails
  // while it connects, and a toolkit can crash; this process still gives the one answer.
  std::optional<WatchedEnd> child;
  if (argc > 1 && std::string_view(argv[1]) == "pick") child = continueWatched();
  // Opened by the verbs that use them, so that the other verbs start without their libraries.
  const auto pdf = pdfOnDemand(besideProgram(PDF_MODULE));
  const auto recogniser = recogniserOnDemand(besideProgram(RECOGNITION_MODULE));
  const auto images = imagesOnDemand(besideProgram(IMAGES_MODULE));
  const auto recordings = recordingsOnDemand(besideProgram(RECORDINGS_MODULE));
  // GTK loads only when a pick shows the window.
  const auto picker = pickerOnDemand(besideProgram(PICKER_MODULE), *images, *recordings);
  const auto fileTypes = linuxFileTypes();
  media::Media media{.clock = steadyClock(),
                     .files = systemFiles(),
                     .system = thisSystem(),
                     .console = processConsole(),
                     .timer = threadTimer(),
                     .pdf = *pdf,
                     .recogniser = *recogniser,
                     .images = *images,
                     .recordings = *recordings,
                     .picker = picker.get(),
                     .fileTypes = fileTypes.get(),
                     .wording = linuxWording()};
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (child) return media::answerForChild(media, args, {child->out, child->err, child->exitCode});
  return media::runMedia(media, args);
}
