// The process's standard streams and its end.
#pragma once

#include <string_view>

namespace plenk {

struct Console {
  virtual ~Console() = default;
  // Each call writes all the bytes, unbuffered, before it returns; false when the stream failed.
  virtual bool writeOut(std::string_view bytes) = 0;
  virtual bool writeErr(std::string_view bytes) = 0;
  // Ends the process at once with the status, running no destructors and no exit handlers, so
  // nothing races a library's worker thread. The in-memory console records the status and returns.
  virtual void exit(int status) = 0;
  // For an end that lost the race to another: blocks until the winner has ended the process.
  // The in-memory console returns once a status is recorded, and gives it back.
  virtual int waitForEnd() = 0;
};

// The real standard output and error of this process (write(2) and _exit).
Console& processConsole();

// First thing in main: a host that stops reading must not end the process (SIGPIPE is ignored,
// so a write just fails), and a standard stream the host left closed is opened on /dev/null, so
// that no file the program opens later takes its number and receives an answer.
void guardStandardStreams();

} // namespace plenk
