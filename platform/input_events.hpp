// Synthesised input and the screen-capture permission.
#pragma once

namespace plenk {

struct InputEvents {
  virtual ~InputEvents() = default;
  // Whether screen capture is allowed now; never prompts.
  virtual bool screenCaptureAllowed() = 0;
  // Asks the system to prompt for screen capture if it never asked; the state after the call.
  virtual bool requestScreenCapture() = 0;
};

} // namespace plenk
