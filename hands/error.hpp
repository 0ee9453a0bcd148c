// The one failure value of plenk-hands: raised where a failure is found, turned into an answer
// by dispatch alone.
#pragma once

#include <string>

namespace plenk::hands {

// `code` is one of "bad_request", "bad_args", "no_permission", "bad_key", "secure_field",
// "not_found", "helper_failed"; `message` is one sentence for the user.
struct HandsError {
  std::string code;
  std::string message;
};

} // namespace plenk::hands
