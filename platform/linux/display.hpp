// Whether a window can be put up from this process: a graphical display that accepts us.
#pragma once

namespace plenk {

// True when the X display named by DISPLAY can be opened (through libX11, loaded only for
// this question), or the Wayland compositor named by WAYLAND_DISPLAY accepts a connection.
bool displayCanOpen();

} // namespace plenk
