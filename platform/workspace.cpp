#include "platform/workspace.hpp"

#include "platform/text.hpp"

namespace plenk {

std::optional<std::vector<InstalledApp>>
Workspace::installedApplications(const std::string& folder) {
  auto entries = contentsOfDirectory(folder);
  if (!entries) return std::nullopt;
  constexpr std::string_view SUFFIX = ".app";
  std::vector<InstalledApp> apps;
  for (const auto& entry : *entries) {
    if (entry.size() <= SUFFIX.size()) continue;
    std::string_view end = std::string_view(entry).substr(entry.size() - SUFFIX.size());
    if (text::lower(end) != SUFFIX) continue;
    apps.push_back({.name = entry.substr(0, entry.size() - SUFFIX.size()),
                    .location = folder + "/" + entry,
                    .listed = end == SUFFIX});
  }
  return apps;
}

} // namespace plenk
