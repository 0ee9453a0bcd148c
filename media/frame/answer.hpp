// The final line of a run and the end of the process. Exactly one of the three ends (finish,
// stop, the deadline) writes; it takes the run's once-guard first, and the others wait for the
// process to end. Each function returns only with a console that does not end the process (tests),
// and then gives the status the run ended with.
#pragma once

#include "media/context.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "platform/json.hpp"

#include <cstdint>
#include <string_view>

namespace plenk::media {

// Written when the answer cannot be serialised (invalid UTF-8, say).
inline constexpr std::string_view FALLBACK_LINE =
    R"({"helper":"plenk-media","ok":false,"code":"E_WORK"})";
static_assert(FALLBACK_LINE.substr(11, HELPER_NAME.size()) == HELPER_NAME);

// A measured real: itself when finite, null otherwise.
Json num(double x);

// The diagnostic: the helper's name, the message in the platform's words and kept on one line,
// and a line feed, in one write, on standard error.
void writeErr(Media& media, std::string_view message);

// The envelope merged with the result (its keys win), sorted at every depth, "/" as "\/", in one
// write, then the line feed in a second write. No guard, no exit: use finish.
void emit(Media& media, const Json& result);

// Success: "ok" true and the result's keys; exit status 0. Callable from any thread.
int finish(Media& media, const Json& result);

// Failure: "plenk-media: " + message on standard error, the failure envelope, the code's exit
// status. Callable from any thread.
int stop(Media& media, const MediaError& error);

// Arms the run's one deadline; the handler ends the run with E_DEADLINE and status 5.
void armDeadline(Media& media, std::int64_t millis);

} // namespace plenk::media
