// What each toolkit's AT-SPI side does differently, in one table: the calls that are safe on it,
// how it reports what shows, and where its coordinates and texts need help.
#pragma once

#include <string_view>

namespace plenk::atspi {

enum class Toolkit { gtk2, gtk3, gtk4, qt, gecko, chromium, java, other };

struct ToolkitQuirks {
  Toolkit toolkit = Toolkit::other;
  // Properties.GetAll answers: name, description, child count and help text in one call. Qt's
  // adaptor dies (SIGSEGV) on it; a toolkit not in the table is asked one property at a time.
  bool getAll = false;
  // Answers Collection.GetMatches (the focused element in one call); the others are searched.
  bool collection = false;
  // Sets the showing state on what is on screen (GTK 4.8 sets none: everything counts as shown).
  bool showing = true;
  // Answers extents relative to its window whatever is asked, and a window's own as its content.
  bool windowExtents = false;
  // Answers extents relative to its X11 window under XWayland (AWT places its window at the
  // origin: the compositor's window manager never tells it where the window is).
  bool windowExtentsOnXWayland = false;
  // Answers (-1, -1, -1, -1) for every rectangle until its layout cache has come (Gecko, the
  // first moments after the first client asked).
  bool boundsLate = false;
  // Reads a GetText end of -1 ("to the end") as 0.
  bool textEndClamped = false;
  // Lists the children of panels out of reading order (grids, frames, header bars).
  bool panelsByPosition = false;
  // Lists the layout boxes of a window (fillers) in the order they were made, and lays some over
  // the whole window (FocusWriter's editor over its status bar): they are read in the order of
  // where their content lies.
  bool fillersByContent = false;
  // Has showing children without a rectangle (-1, -1, -1, -1) over children that have one (a
  // notebook's page whose tab is hidden): hit-testing looks through them.
  bool lookThroughUnplaced = false;
  // A text element's children are views into its own text (the elements of Java's HTML panes,
  // each answering the text from the document's start): the element is read whole, and its
  // children not at all.
  bool textWhole = false;
  // Lays out what it hides at no size and says nothing else of it (GTK 4: no showing state): an
  // element of no width or height is taken for hidden, with everything inside it.
  bool hiddenAtNoSize = false;
};

// The quirks of the toolkit that an application's Application interface names (ToolkitName,
// Version). Unknown or unanswered toolkits get the safe calls.
ToolkitQuirks quirksOf(std::string_view toolkitName, std::string_view version);

} // namespace plenk::atspi
