#include "platform/linux/wording.hpp"

namespace plenk {

namespace {

constexpr Rewording LINUX[] = {
    // plenk-hands
    {"Accessibility is not allowed for Plenk AI in System Settings.", "",
     "Accessibility is turned off on this desktop, so Plenk AI cannot read the screen.", ""},
    {"There is no app called ", " on this Mac.", "There is no app called ", " on this computer.",
     true},
    {"Name an app, like Keynote or com.apple.iWork.Keynote.", "",
     "Name an app, like Text Editor or org.gnome.TextEditor.", ""},
    {"macOS did not say which app is in front.", "",
     "The desktop did not say which app is in front.", ""},
    {"macOS did not say what is at that point.", "",
     "The desktop did not say what is at that point.", ""},
    {"macOS did not say which app owns that point.", "",
     "The desktop did not say which app owns that point.", ""},
    {"macOS would not create the click.", "", "The desktop would not create the click.", ""},
    {"macOS would not create the scroll.", "", "The desktop would not create the scroll.", ""},
    {"macOS would not create the key press.", "", "The desktop would not create the key press.",
     ""},
    {"macOS would not create the typing.", "", "The desktop would not create the typing.", ""},
    {"", " did not open: macOS did not open it.", "", " did not open: the desktop did not open it.",
     true},
    // plenk-media
    {"macOS did not finish this within ", " ms", "this did not finish within ", " ms", true},
    {"macOS could not open that file as a PDF", "", "that file could not be opened as a PDF", ""},
    {"macOS could not draw page ", " of that PDF", "page ", " of that PDF could not be drawn",
     true},
    {"that file holds no sound and no picture that macOS can read", "",
     "that file holds no sound and no picture that can be read", ""},
    {"macOS reports no length for that recording, so frames cannot be spaced across it", "",
     "that recording reports no length, so frames cannot be spaced across it", ""},
    {"macOS could not turn any moment of that recording into a picture", "",
     "no moment of that recording could be turned into a picture", ""},
    {"macOS would not start an export of the sound in that recording", "",
     "an export of the sound in that recording could not be started", ""},
    {"choosing from Photos needs macOS 13 or later", "",
     "choosing photographs and videos needs a display to show the picker on", ""},
    {"One photograph could not be copied out of Photos, so it was left out.", "",
     "One photograph could not be copied, so it was left out.", ""},
    {"One video could not be copied out of Photos, so it was left out.", "",
     "One video could not be copied, so it was left out.", ""},
    {"a photograph chosen in Photos could not be written into the directory given to --out", "",
     "a photograph chosen in the picker could not be written into the directory given to --out",
     ""},
    // The picker window's title.
    {"Choose from Photos", "", "Choose Photos and Videos", ""},
};

} // namespace

Wording linuxWording() {
  return {LINUX, std::nullopt};
}

} // namespace plenk
