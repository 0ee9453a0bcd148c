// A desktop for the application verbs: the in-memory workspace with the application folders of
// its home folder, main-thread tasks run at once.
#pragma once

#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "hands/hands_fixture.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace plenk::hands::testing {

inline RunningApp app(int pid, std::optional<std::string> name,
                      std::optional<std::string> bundleId = {},
                      std::optional<std::string> bundlePath = {},
                      ActivationPolicy policy = ActivationPolicy::regular) {
  RunningApp a;
  a.pid = pid;
  a.name = std::move(name);
  a.bundleId = std::move(bundleId);
  a.bundlePath = std::move(bundlePath);
  a.policy = policy;
  return a;
}

struct AppsTest : ::testing::Test, HandsFixture {
  AppsTest() { hands.appDirs = appDirsFor(desktop.homeDirectory()); }
};

// The HandsError `run` throws, or none when it returns.
inline std::optional<HandsError> thrownBy(const std::function<void()>& run) {
  try {
    run();
  } catch (const HandsError& e) {
    return e;
  }
  return std::nullopt;
}

inline void expectError(const std::optional<HandsError>& error, const std::string& code,
                        const std::string& message) {
  ASSERT_TRUE(error.has_value()) << "no error, expected " << message;
  EXPECT_EQ(error->code, code);
  EXPECT_EQ(error->message, message);
}

} // namespace plenk::hands::testing
