#include "hands/apps/resolve.hpp"

#include "hands/constants.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <filesystem>

namespace plenk::hands {

namespace {

constexpr std::string_view APP_SUFFIX = ".app";

bool refused(std::string_view text) {
  return text.empty() || text::graphemeCount(text) > MAX_APP_NAME_CHARS ||
         text.find('/') != text.npos || text.find('\0') != text.npos;
}

bool looksLikeBundleId(std::string_view text) {
  return text.find('.') != text.npos && text.find(' ') == text.npos &&
         !text::lower(text).ends_with(APP_SUFFIX);
}

} // namespace

std::string appName(std::string_view path) {
  while (path.size() > 1 && path.ends_with('/'))
    path.remove_suffix(1);
  // A leading dot starts a hidden name, not an extension (".app" keeps its whole name).
  return std::filesystem::path(path).stem().string();
}

ResolvedApp pack(Workspace& workspace, std::string path) {
  ResolvedApp app;
  // A desktop id found as an extra name is still the entry's Name to the user.
  app.name = workspace.applicationName(path).value_or(appName(path));
  app.bundleId = workspace.bundleIdentifier(path).value_or("");
  app.path = std::move(path);
  return app;
}

std::string nameArg(const Json& args) {
  if (!args.is_object()) return {};
  auto it = args.find("name");
  if (it == args.end() || !it->is_string()) return {};
  return it->get<std::string>();
}

ResolvedApp resolveApp(Hands& hands, std::string_view name) {
  std::string_view text = text::trim(name);
  if (refused(text))
    throw HandsError{"bad_args", "Name an app, like Keynote or com.apple.iWork.Keynote."};

  if (looksLikeBundleId(text))
    if (auto path = hands.workspace.applicationPathForBundleId(std::string(text)))
      return pack(hands.workspace, std::move(*path));

  std::string wanted = text::lower(text);
  if (wanted.ends_with(APP_SUFFIX)) wanted.resize(wanted.size() - APP_SUFFIX.size());
  // ".app" alone names nothing: a running application without a name must not answer to it.
  if (!wanted.empty()) {
    for (const auto& app : hands.workspace.runningApplications()) {
      if (app.policy != ActivationPolicy::regular || !app.bundlePath) continue;
      if (text::lower(app.name.value_or("")) == wanted)
        return pack(hands.workspace, *app.bundlePath);
    }
    for (const auto& dir : hands.appDirs) {
      auto apps = hands.workspace.installedApplications(dir);
      if (!apps) continue;
      for (const auto& app : *apps) {
        bool named = text::lower(app.name) == wanted;
        for (const auto& alias : app.aliases)
          named = named || text::lower(alias) == wanted;
        if (named) return pack(hands.workspace, app.location);
      }
    }
  }
  throw HandsError{"not_found", "There is no app called " + std::string(text) + " on this Mac."};
}

Json verbResolveApp(Hands& hands, const Json& args) {
  ResolvedApp app = resolveApp(hands, nameArg(args));
  return {{"app", {{"name", app.name}, {"bundle_id", app.bundleId}, {"pid", 0}}}};
}

} // namespace plenk::hands
