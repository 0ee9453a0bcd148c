#include "hands/dispatch.hpp"

#include "hands/constants.hpp"

#include <exception>
#include <string>

namespace plenk::hands {

namespace {

using Handler = Json (*)(Hands&, const Json&);

struct Entry {
  std::string_view verb;
  Handler handler; // null for open_app, which answers by itself
};

// In the order of VERBS.
constexpr std::array<Entry, 14> HANDLERS{{
    {"probe", verbProbe},
    {"request", verbRequest},
    {"frontmost", verbFrontmost},
    {"app_at", verbAppAt},
    {"elements", verbElements},
    {"read_text", verbReadText},
    {"click", verbClick},
    {"type", verbType},
    {"key", verbKey},
    {"scroll", verbScroll},
    {"resolve_app", verbResolveApp},
    {"open_app", nullptr},
    {"activate", verbActivate},
    {"list_apps", verbListApps},
}};

constexpr bool handlersFollowVerbs() {
  for (std::size_t i = 0; i < VERBS.size(); ++i)
    if (HANDLERS[i].verb != VERBS[i]) return false;
  return true;
}
static_assert(handlersFollowVerbs());

HandsError failed(std::string_view description) {
  return {"helper_failed", "The helper failed: " + std::string(description)};
}

} // namespace

void dispatchVerb(Hands& hands, std::string_view verb, const Json& args, Completion given) {
  // Every failure leaves in the platform's words, open_app's later answer too.
  // A copy of the words: open_app's answer may come after this Hands is gone (in a test).
  Completion done = [wording = hands.wording, given = std::move(given)](
                        std::optional<Json> result, std::optional<HandsError> error) {
    if (error) error->message = wording.say(error->message);
    given(std::move(result), std::move(error));
  };
  const Entry* entry = nullptr;
  for (const auto& e : HANDLERS)
    if (e.verb == verb) entry = &e;
  if (!entry) {
    done(std::nullopt,
         HandsError{"bad_args", "There is no verb called " + std::string(verb) + "."});
    return;
  }
  // The outcome is taken out of the try block so that a completion that throws is not mistaken
  // for a failing verb and called twice.
  std::optional<Json> result;
  std::optional<HandsError> error;
  try {
    if (!entry->handler) {
      verbOpenApp(hands, args, done);
      return;
    }
    result = entry->handler(hands, args);
  } catch (const HandsError& e) {
    error = e;
  } catch (const std::exception& e) {
    error = failed(e.what());
  } catch (...) {
    error = failed("an unknown error.");
  }
  if (error)
    done(std::nullopt, std::move(error));
  else
    done(std::move(result), std::nullopt);
}

} // namespace plenk::hands
