#include "hands/apps/resolve.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/verbs.hpp"

#include <atomic>
#include <exception>
#include <memory>

namespace plenk::hands {

namespace {

// What the system's answer becomes, on the main thread.
void answerOpen(const Completion& done, const std::string& name, std::optional<RunningApp> app,
                std::optional<std::string> error) {
  std::optional<Json> result;
  std::optional<HandsError> failure;
  try {
    // A running application is the answer even when an error came along with it.
    if (app) {
      result = Json{{"app", appInfo(*app)}};
    } else {
      bool described = error && !error->empty();
      failure =
          HandsError{"helper_failed",
                     name + " did not open: " + (described ? *error : "macOS did not open it.")};
    }
  } catch (const std::exception& e) {
    failure = HandsError{"helper_failed", std::string("The helper failed: ") + e.what()};
  }
  if (failure)
    done(std::nullopt, std::move(failure));
  else
    done(std::move(result), std::nullopt);
}

} // namespace

void verbOpenApp(Hands& hands, const Json& args, Completion done) {
  // Without a way back to the main thread the answer could never be given.
  if (!hands.postToMain) throw HandsError{"helper_failed", "The helper cannot open apps here."};
  ResolvedApp app;
  try {
    app = resolveApp(hands, nameArg(args));
  } catch (const HandsError&) {
    throw;
  } catch (...) {
    throw HandsError{"helper_failed", "The app could not be found."};
  }
  // The handler runs on a platform thread and may outlive this request's stack: it holds its own
  // copies. It only posts; the answer is built on the main thread, never beside another verb.
  auto answered = std::make_shared<std::atomic<bool>>(false);
  hands.workspace.openApplication(
      app.path, OpenConfiguration{.activates = true},
      [post = hands.postToMain, done = std::move(done), name = app.name,
       answered](std::optional<RunningApp> running, std::optional<std::string> error) {
        // A second call of the handler must not give the request a second answer.
        if (answered->exchange(true)) return;
        post([done, name, running = std::move(running), error = std::move(error)]() mutable {
          answerOpen(done, name, std::move(running), std::move(error));
        });
      });
}

} // namespace plenk::hands
