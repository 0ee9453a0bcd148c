// An in-memory recogniser with scripted answers, for the logic's tests.
#pragma once

#include "platform/recognition.hpp"

#include <cstddef>
#include <vector>

namespace plenk {

struct MemoryRecogniser final : Recogniser {
  std::optional<RecognisedLines> lines(const Raster& picture) override {
    const std::size_t call = seen.size();
    seen.push_back({picture.width, picture.height});
    if (call < answers.size()) return answers[call];
    return RecognisedLines{};
  }

  // The answer to the n-th picture (counted from 0); nothing makes that call fail. Pictures
  // past the end are read as holding no text.
  std::vector<std::optional<RecognisedLines>> answers;
  struct Size {
    int width;
    int height;
  };
  // The size of every picture given, in order.
  std::vector<Size> seen;
};

} // namespace plenk
