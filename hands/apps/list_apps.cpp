#include "hands/constants.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <unordered_set>

namespace plenk::hands {

namespace {

constexpr std::string_view APP_SUFFIX = ".app";

Json runningList(Workspace& workspace) {
  Json running = Json::array();
  for (const auto& app : workspace.runningApplications())
    if (app.policy == ActivationPolicy::regular)
      // A name that is not UTF-8 would make the whole answer unwritable.
      running.push_back({{"name", text::sanitizeUtf8(app.name.value_or(""))},
                         {"bundle_id", text::sanitizeUtf8(app.bundleId.value_or(""))}});
  return running;
}

// Bundle names across the folders, the first folder's spelling winning; stops reading folders
// once MAX_INSTALLED_APPS names are in.
Json installedList(Hands& hands) {
  Json installed = Json::array();
  std::unordered_set<std::string> seen;
  for (const auto& dir : hands.appDirs) {
    auto entries = hands.workspace.contentsOfDirectory(dir);
    if (!entries) continue;
    std::stable_sort(entries->begin(), entries->end(),
                     [](const auto& a, const auto& b) { return text::compareNfc(a, b) < 0; });
    for (const auto& entry : *entries) {
      // Exactly ".app" in small letters, with a name before it.
      if (entry.size() <= APP_SUFFIX.size() || !entry.ends_with(APP_SUFFIX)) continue;
      // A file name that is not UTF-8 names no app anyone could ask for, and would make the
      // whole answer unwritable.
      if (!text::isValidUtf8(entry)) continue;
      std::string name = entry.substr(0, entry.size() - APP_SUFFIX.size());
      if (seen.insert(text::lower(name)).second) installed.push_back(std::move(name));
      if (installed.size() >= MAX_INSTALLED_APPS) return installed;
    }
  }
  return installed;
}

} // namespace

Json verbListApps(Hands& hands, const Json&) {
  return {{"running", runningList(hands.workspace)}, {"installed", installedList(hands)}};
}

} // namespace plenk::hands
