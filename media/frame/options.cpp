#include "media/frame/options.hpp"

#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace plenk::media {

namespace {

bool isKnownKey(const std::string& key) {
  return std::find(KNOWN_KEYS.begin(), KNOWN_KEYS.end(), key) != KNOWN_KEYS.end();
}

// The decimal point must not follow the user's locale (a library may have set it).
locale_t posixLocale() {
  static locale_t loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

} // namespace

CommandLine parseArgs(const std::vector<std::string>& args) {
  if (args.empty() || args[0].starts_with('-'))
    throw MediaError(Code::Usage, "the first argument must be a verb: probe, inspect, pdftext, "
                                  "ocr, frames, audio or pick");
  CommandLine out{args[0], {}};
  for (std::size_t i = 1; i < args.size(); i += 2) {
    const std::string& key = args[i];
    if (!isKnownKey(key)) throw MediaError(Code::Usage, "unknown option " + key);
    if (i + 1 >= args.size())
      throw MediaError(Code::Usage, "option " + key + " was given with no value");
    out.opts[key] = args[i + 1];
  }
  return out;
}

std::int64_t intOpt(const Options& opts, const std::string& key, std::int64_t def, std::int64_t min,
                    std::int64_t max) {
  auto it = opts.find(key);
  if (it == opts.end()) return def;
  std::string_view v = it->second;
  if (v.starts_with('+')) v.remove_prefix(1);
  std::string_view digits = v.starts_with('-') && !it->second.starts_with('+') ? v.substr(1) : v;
  bool allDigits = !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
  std::int64_t value = 0;
  if (allDigits) {
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    allDigits = ec == std::errc{} && end == v.data() + v.size();
  }
  if (!allDigits) throw MediaError(Code::Usage, key + " must be a whole number");
  return std::max(std::min(value, max), min);
}

double doubleOpt(const Options& opts, const std::string& key, double def, double min, double max) {
  auto it = opts.find(key);
  if (it == opts.end()) return def;
  const std::string& v = it->second;
  MediaError refused(Code::Usage, key + " must be a number");
  if (v.empty() || std::string_view(" \t\n\v\f\r").find(v.front()) != std::string_view::npos)
    throw refused;
  char* end = nullptr;
  double value = ::strtod_l(v.c_str(), &end, posixLocale());
  if (end != v.c_str() + v.size() || !std::isfinite(value)) throw refused;
  return std::max(std::min(value, max), min);
}

} // namespace plenk::media
