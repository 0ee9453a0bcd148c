#include "hands/constants.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <unordered_set>

namespace plenk::hands {

namespace {

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
    auto apps = hands.workspace.installedApplications(dir);
    if (!apps) continue;
    // In the order of their bundles' names, as a folder lists them.
    auto bundle = [](const InstalledApp& app) {
      return std::string_view(app.location).substr(app.location.rfind('/') + 1);
    };
    std::stable_sort(apps->begin(), apps->end(), [&](const auto& a, const auto& b) {
      return text::compareNfc(bundle(a), bundle(b)) < 0;
    });
    for (auto& app : *apps) {
      // A name that is not UTF-8 names no app anyone could ask for, and would make the whole
      // answer unwritable.
      if (!app.listed || !text::isValidUtf8(app.name)) continue;
      std::string name = std::move(app.name);
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
