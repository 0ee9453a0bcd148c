// Every verb handler of plenk-hands. A handler reads its `args` (an object), returns its result
// object or throws HandsError; dispatch turns either into the one answer.
#pragma once

#include "hands/context.hpp"
#include "hands/error.hpp"
#include "platform/json.hpp"

#include <functional>
#include <optional>

namespace plenk::hands {

// Receives a verb's outcome: exactly one of a result object and an error.
using Completion = std::function<void(std::optional<Json> result, std::optional<HandsError> error)>;

Json verbProbe(Hands& hands, const Json& args);
Json verbRequest(Hands& hands, const Json& args);
Json verbFrontmost(Hands& hands, const Json& args);
Json verbAppAt(Hands& hands, const Json& args);
Json verbElements(Hands& hands, const Json& args);
Json verbReadText(Hands& hands, const Json& args);
Json verbClick(Hands& hands, const Json& args);
Json verbType(Hands& hands, const Json& args);
Json verbKey(Hands& hands, const Json& args);
Json verbScroll(Hands& hands, const Json& args);
Json verbResolveApp(Hands& hands, const Json& args);
// Answers later: either throws before it starts anything (dispatch answers with the error), or
// returns and calls `done` exactly once, later, on the main thread (through hands.postToMain).
void verbOpenApp(Hands& hands, const Json& args, Completion done);
Json verbActivate(Hands& hands, const Json& args);
Json verbListApps(Hands& hands, const Json& args);

} // namespace plenk::hands
