// Running the rest of a job in a child process that a parent watches, for work that a library
// can end without a word (GDK ends the process on a display error before the program can install
// its own handler; a crash in a toolkit ends it at once): the parent sees how the child ended and
// can still give the one answer.
#pragma once

#include <optional>
#include <string>

namespace plenk {

// What the watching parent saw of its child.
struct WatchedEnd {
  std::string out;             // everything the child wrote to standard output
  std::string err;             // and to standard error
  std::optional<int> exitCode; // its exit status, when it exited
  std::optional<int> signal;   // the signal that ended it, when one did
};

// Forks. In the child, returns nothing: it goes on with the job, its standard output and error
// going to the parent, and it is killed when the parent goes. In the parent, returns once the
// child has ended (helpers it started may still hold its pipes: they are not waited for). When
// the fork cannot be made, returns nothing too and the job runs unwatched in this process.
std::optional<WatchedEnd> continueWatched();

} // namespace plenk
