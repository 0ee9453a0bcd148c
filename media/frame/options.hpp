// The command line: a verb, then pairs of a known option key and its value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace plenk::media {

// Option key as typed ("--in") to its raw value; a repeated key holds its last value.
using Options = std::map<std::string, std::string>;

struct CommandLine {
  std::string verb; // not checked here
  Options opts;
};

// Raises E_USAGE for a missing verb, an unknown key or a key without a value, left to right.
CommandLine parseArgs(const std::vector<std::string>& args);

// Absent: the default, unclamped. Present: an optional "+" or "-" and ASCII digits within signed
// 64 bits, clamped into [min, max]; anything else raises E_USAGE key + " must be a whole number".
std::int64_t intOpt(const Options& opts, const std::string& key, std::int64_t def, std::int64_t min,
                    std::int64_t max);

// Absent: the default. Present: the whole value read as by strtod in the POSIX locale, with no
// leading white space and a finite result, clamped; else E_USAGE key + " must be a number".
double doubleOpt(const Options& opts, const std::string& key, double def, double min, double max);

} // namespace plenk::media
