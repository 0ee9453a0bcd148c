// The accessibility interface of the desktop: trust, and (with the desktop seam) elements.
#pragma once

namespace plenk {

struct Accessibility {
  virtual ~Accessibility() = default;
  // Whether this process is trusted for accessibility now; never prompts.
  virtual bool isTrusted() = 0;
  // The same, after asking the system to show its prompt when not trusted yet.
  virtual bool isTrustedWithPrompt() = 0;
};

} // namespace plenk
