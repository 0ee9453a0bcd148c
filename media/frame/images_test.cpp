#include "media/frame/constants.hpp"
#include "media/frame/images.hpp"
#include "platform/linux/images.hpp"

#include <gtest/gtest.h>
#include <set>

namespace plenk::media {
namespace {

// The real encoder with every call recorded, and failures where a test asks for them.
struct CountingImages final : Images {
  std::unique_ptr<Images> real = linuxImages();
  struct Encoding {
    bool png;
    double quality;
    int width, height;
    std::size_t bytes;
  };
  std::vector<Encoding> encodings;
  int resizes = 0;
  std::set<int> failingEncodings; // counted from 1
  bool failResize = false;

  std::optional<Picture> resize(const Picture& p, int w, int h) override {
    ++resizes;
    return failResize ? std::nullopt : real->resize(p, w, h);
  }
  std::optional<std::string> jpeg(const Picture& p, double q) override {
    return record(p, false, q, real->jpeg(p, q));
  }
  std::optional<std::string> png(const Picture& p) override {
    return record(p, true, 0, real->png(p));
  }
  std::optional<Picture> thumbnail(const std::string& path, int edge) override {
    return real->thumbnail(path, edge);
  }
  std::optional<std::string> record(const Picture& p, bool png, double q,
                                    std::optional<std::string> bytes) {
    encodings.push_back({png, q, p.width, p.height, bytes ? bytes->size() : 0});
    if (failingEncodings.count(static_cast<int>(encodings.size())) > 0) return std::nullopt;
    return bytes;
  }
};

Picture noisy(int w, int h) {
  Picture p{w, h, {}};
  unsigned state = 7;
  for (int i = 0; i < w * h * 3; ++i) {
    state = state * 1103515245u + 12345u;
    p.rgb.push_back(static_cast<std::uint8_t>(state >> 16));
  }
  return p;
}

struct Step {
  double quality;
  int width, height;
};

void expectSteps(const CountingImages& images, const std::vector<Step>& steps) {
  ASSERT_EQ(images.encodings.size(), steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("encoding " + std::to_string(i + 1));
    EXPECT_NEAR(images.encodings[i].quality, steps[i].quality, 1e-9);
    EXPECT_EQ(images.encodings[i].width, steps[i].width);
    EXPECT_EQ(images.encodings[i].height, steps[i].height);
  }
}

TEST(EncodeWithin, ABudgetOfAFewBytesGivesSixEncodingsAndTheSmallestPicture) {
  struct Case {
    double start;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {0.82,
       {{0.82, 400, 300},
        {0.64, 400, 300},
        {0.46, 400, 300},
        {0.4, 400, 300},
        {0.4, 300, 225},
        {0.4, 225, 168}}},
      {1.0,
       {{1.0, 400, 300},
        {0.82, 400, 300},
        {0.64, 400, 300},
        {0.46, 400, 300},
        {0.4, 400, 300},
        {0.4, 300, 225}}},
      {0.4,
       {{0.4, 400, 300},
        {0.4, 300, 225},
        {0.4, 225, 168},
        {0.4, 168, 126},
        {0.4, 126, 94},
        {0.4, 94, 70}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    CountingImages images;
    auto got = encodeWithin(images, noisy(400, 300), false, c.start, 10);
    ASSERT_TRUE(got);
    expectSteps(images, c.steps);
    // The sixth encoding comes back, over the budget, with the picture it was made from.
    EXPECT_EQ(got->bytes.size(), images.encodings.back().bytes);
    EXPECT_GT(got->bytes.size(), 10u);
    EXPECT_EQ(got->picture.width, c.steps.back().width);
    EXPECT_EQ(got->picture.height, c.steps.back().height);
  }
}

TEST(EncodeWithin, QualityStepsAreExactSubtractions) {
  CountingImages images;
  ASSERT_TRUE(encodeWithin(images, noisy(40, 30), false, 0.82, 10));
  EXPECT_EQ(images.encodings[1].quality, 0.82 - 0.18);
  EXPECT_EQ(images.encodings[2].quality, 0.82 - 0.18 - 0.18);
  EXPECT_EQ(images.encodings[3].quality, MIN_QUALITY);
}

TEST(EncodeWithin, StopsAtTheFirstEncodingThatFits) {
  Picture p = noisy(400, 300);
  CountingImages probe;
  auto sizes = std::vector<std::size_t>{};
  for (double q : {0.82, 0.64, 0.46})
    sizes.push_back(probe.real->jpeg(p, q)->size());
  ASSERT_GT(sizes[0], sizes[2]);

  CountingImages whole;
  auto first = encodeWithin(whole, p, false, 0.82, static_cast<std::int64_t>(sizes[0]));
  ASSERT_TRUE(first);
  EXPECT_EQ(whole.encodings.size(), 1u);
  EXPECT_EQ(first->picture.rgb, p.rgb); // the picture passed in
  EXPECT_EQ(whole.resizes, 0);

  // Exactly at the budget of the third encoding counts as fitting.
  CountingImages third;
  auto got = encodeWithin(third, p, false, 0.82, static_cast<std::int64_t>(sizes[2]));
  ASSERT_TRUE(got);
  EXPECT_EQ(third.encodings.size(), 3u);
  EXPECT_EQ(got->bytes.size(), sizes[2]);
  EXPECT_EQ(got->picture.width, 400);
}

TEST(EncodeWithin, PngIgnoresTheBudget) {
  CountingImages images;
  auto got = encodeWithin(images, noisy(400, 300), true, 0.82, 10);
  ASSERT_TRUE(got);
  ASSERT_EQ(images.encodings.size(), 1u);
  EXPECT_TRUE(images.encodings[0].png);
  EXPECT_EQ(got->bytes.substr(1, 3), "PNG");
  EXPECT_EQ(got->picture.width, 400);
  EXPECT_EQ(images.resizes, 0);
}

TEST(EncodeWithin, TinyPicturesNeverShrinkToNothing) {
  CountingImages one;
  auto got = encodeWithin(one, noisy(1, 1), false, 0.4, 1);
  ASSERT_TRUE(got);
  expectSteps(one, {{0.4, 1, 1}, {0.4, 1, 1}, {0.4, 1, 1}, {0.4, 1, 1}, {0.4, 1, 1}, {0.4, 1, 1}});

  CountingImages three;
  ASSERT_TRUE(encodeWithin(three, noisy(3, 3), false, 0.4, 1));
  EXPECT_EQ(three.encodings[1].width, 2);
  EXPECT_EQ(three.encodings[2].width, 1);
  EXPECT_EQ(three.encodings[2].height, 1);
}

TEST(EncodeWithin, AFailedEncodingDropsEverythingAFailedShrinkKeepsTheLast) {
  CountingImages failing;
  failing.failingEncodings = {3};
  EXPECT_FALSE(encodeWithin(failing, noisy(40, 30), false, 0.82, 10));
  EXPECT_EQ(failing.encodings.size(), 3u);

  CountingImages noShrink;
  noShrink.failResize = true;
  auto got = encodeWithin(noShrink, noisy(40, 30), false, 0.82, 10);
  ASSERT_TRUE(got);
  EXPECT_EQ(noShrink.encodings.size(), 4u); // 0.82, 0.64, 0.46, 0.4, then no smaller picture
  EXPECT_EQ(got->bytes.size(), noShrink.encodings.back().bytes);
  EXPECT_EQ(got->picture.width, 40);
}

TEST(EncodeWithin, AStartingQualityAboveTheSearchGivesNothing) {
  CountingImages images;
  EXPECT_FALSE(encodeWithin(images, noisy(20, 20), false, 2.0, 10));
  EXPECT_EQ(images.encodings.size(), 6u);
}

TEST(Scaled, TruncatesEachSideAndKeepsAtLeastOnePixel) {
  CountingImages images;
  struct Case {
    int w, h, toW, toH;
  };
  for (Case c : {Case{1920, 1080, 1440, 810}, Case{1440, 810, 1080, 607}, Case{3, 3, 2, 2},
                 Case{1, 1, 1, 1}, Case{1, 5, 1, 3}}) {
    auto got = scaled(images, noisy(c.w, c.h), 0.75);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->width, c.toW);
    EXPECT_EQ(got->height, c.toH);
  }
}

} // namespace
} // namespace plenk::media
