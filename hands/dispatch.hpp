// From a verb name to its handler, and from what the handler does to one completion call.
#pragma once

#include "hands/context.hpp"
#include "hands/verbs.hpp"

#include <string_view>

namespace plenk::hands {

// Runs the verb and calls `done` exactly once: before returning for every verb but open_app,
// which calls it later on the main thread. Unknown verbs are "bad_args".
void dispatchVerb(Hands& hands, std::string_view verb, const Json& args, Completion done);

} // namespace plenk::hands
