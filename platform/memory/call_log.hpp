// The recorder the fakes share: the platform calls the logic made, stamped with the desktop's
// clock. Turned off, it keeps nothing, and neither do the fakes' own logs of writes and events.
#pragma once

#include "platform/clock.hpp"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk {

// One platform call as the desktop saw it.
struct PlatformCall {
  std::string op;     // the seam's member name: "copyAttribute", "post", "contentsOfDirectory"
  std::string target; // the element ("system", "app:42", an element's name), or ""
  std::string detail; // the attribute, pid, path or event kind, or ""
  double at = 0;      // seconds of the desktop's clock since it was made
};

class CallLog {
public:
  explicit CallLog(Clock& clock) : clock_(clock), origin_(clock.now()) {}

  Clock& clock() { return clock_; }
  // Seconds on the clock since the log was made.
  double elapsed() { return clock_.now() - origin_; }

  void record(std::string op, std::string target, std::string detail);
  std::vector<PlatformCall> calls();
  // Calls of one operation, optionally only those with this detail (attribute, path, ...).
  int count(std::string_view op, std::optional<std::string_view> detail = std::nullopt);
  // Calls of one operation on one target with this detail.
  int count(std::string_view op, std::string_view target, std::string_view detail);
  void clear();
  // Whether anything is kept (on by default; a long simulation turns it off).
  void keep(bool keep);
  bool keeping();

private:
  Clock& clock_;
  double origin_;
  std::mutex mutex_;
  bool keep_ = true;
  std::vector<PlatformCall> calls_;
};

} // namespace plenk
