// Verbs not built yet. Whoever builds one deletes its stub here and adds the verb's own file.
#include "hands/verbs.hpp"

namespace plenk::hands {

namespace {
[[noreturn]] void notYet() {
  throw HandsError{"helper_failed", "The helper cannot do that yet."};
}
} // namespace

Json verbClick(Hands&, const Json&) {
  notYet();
}
Json verbType(Hands&, const Json&) {
  notYet();
}
Json verbKey(Hands&, const Json&) {
  notYet();
}
Json verbScroll(Hands&, const Json&) {
  notYet();
}

} // namespace plenk::hands
