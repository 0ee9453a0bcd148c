#include "platform/linux/images.hpp"
#include "tests/support/fixtures.hpp"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::TempDir;

Picture solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Picture p{w, h, {}};
  for (int i = 0; i < w * h; ++i)
    p.rgb.insert(p.rgb.end(), {r, g, b});
  return p;
}

// Detail that JPEG cannot compress well, so quality shows in the size.
Picture noisy(int w, int h) {
  Picture p{w, h, {}};
  unsigned state = 12345;
  for (int i = 0; i < w * h * 3; ++i) {
    state = state * 1103515245u + 12345u;
    p.rgb.push_back(static_cast<std::uint8_t>(state >> 16));
  }
  return p;
}

bool convert(const std::string& args) {
  return std::system(("/usr/bin/convert " + args + " 2>/dev/null").c_str()) == 0;
}

std::array<int, 3> pixel(const Picture& p, int x, int y) {
  const std::uint8_t* at = p.rgb.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
  return {at[0], at[1], at[2]};
}

class LinuxImages : public ::testing::Test {
protected:
  std::unique_ptr<Images> images = linuxImages();
  TempDir dir;
};

TEST_F(LinuxImages, ResizeGivesExactlyTheAskedSize) {
  struct Case {
    int w, h, toW, toH;
  };
  for (Case c : {Case{1920, 1080, 1440, 810}, Case{1440, 810, 1080, 607}, Case{3, 3, 2, 2},
                 Case{2, 2, 1, 1}, Case{1, 1, 1, 1}, Case{7, 1000, 5, 750}, Case{10, 10, 30, 20}}) {
    auto out = images->resize(solid(c.w, c.h, 10, 200, 30), c.toW, c.toH);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->width, c.toW);
    EXPECT_EQ(out->height, c.toH);
    ASSERT_EQ(out->rgb.size(), static_cast<std::size_t>(c.toW) * c.toH * 3);
    auto px = pixel(*out, c.toW / 2, c.toH / 2);
    EXPECT_NEAR(px[0], 10, 2);
    EXPECT_NEAR(px[1], 200, 2);
    EXPECT_NEAR(px[2], 30, 2);
  }
}

TEST_F(LinuxImages, RefusesMalformedPicturesAndSizes) {
  Picture bad = solid(4, 4, 0, 0, 0);
  bad.rgb.pop_back();
  EXPECT_FALSE(images->resize(bad, 2, 2));
  EXPECT_FALSE(images->jpeg(bad, 0.8));
  EXPECT_FALSE(images->png(Picture{}));
  EXPECT_FALSE(images->resize(solid(4, 4, 0, 0, 0), 0, 2));
}

TEST_F(LinuxImages, JpegQualityChangesTheSize) {
  Picture p = noisy(200, 150);
  auto best = images->jpeg(p, 1.0), floor = images->jpeg(p, 0.4), least = images->jpeg(p, 0.0);
  ASSERT_TRUE(best && floor && least);
  EXPECT_EQ(best->substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_GT(best->size(), floor->size());
  EXPECT_GT(floor->size(), least->size());
}

TEST_F(LinuxImages, PngKeepsEveryPixel) {
  Picture p = noisy(37, 23);
  auto bytes = images->png(p);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->substr(0, 8), "\x89PNG\r\n\x1A\n");
  testing::writeFile(dir / "p.png", *bytes);
  auto back = images->thumbnail(dir / "p.png", 100);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rgb, p.rgb);
}

TEST_F(LinuxImages, ThumbnailIsUprightWithinTheEdgeAndNeverEnlarged) {
  // 600x400 stored with a red top-left quadrant and orientation 6 (turn clockwise to view).
  Picture stored = solid(600, 400, 0, 0, 0);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x)
      stored.rgb[(static_cast<std::size_t>(y) * 600 + x) * 3] = 255;
  auto jpeg = images->jpeg(stored, 0.9);
  ASSERT_TRUE(jpeg);
  const std::string exif("\xFF\xE1\x00\x22"
                         "Exif\0\0MM\0\x2A\0\0\0\x08"
                         "\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0"
                         "\0\0\0\0",
                         36);
  testing::writeFile(dir / "tagged.jpg", jpeg->substr(0, 2) + exif + jpeg->substr(2));
  auto t = images->thumbnail(dir / "tagged.jpg", 300);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->width, 200);
  EXPECT_EQ(t->height, 300);
  EXPECT_GT(pixel(*t, 150, 50)[0], 200); // the quadrant is now top right
  EXPECT_LT(pixel(*t, 50, 250)[0], 40);

  auto big = images->thumbnail(dir / "tagged.jpg", 5000);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->width, 400);
  EXPECT_EQ(big->height, 600);
}

TEST_F(LinuxImages, ThumbnailFlattensAlphaAndWidensGrey) {
  ASSERT_TRUE(
      convert("-size 20x10 xc:none -fill red -draw 'rectangle 0,0 9,9' " + dir / "alpha.png"));
  auto a = images->thumbnail(dir / "alpha.png", 100);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->rgb.size(), 20u * 10u * 3u);
  EXPECT_EQ(pixel(*a, 2, 5), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(pixel(*a, 15, 5), (std::array<int, 3>{0, 0, 0}));

  ASSERT_TRUE(convert("-size 30x20 xc:gray50 -colorspace Gray -depth 16 " + dir / "grey.png"));
  auto g = images->thumbnail(dir / "grey.png", 100);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->rgb.size(), 30u * 20u * 3u);
  auto px = pixel(*g, 10, 10);
  EXPECT_NEAR(px[0], 128, 2);
  EXPECT_EQ(px[0], px[2]);
}

TEST_F(LinuxImages, ThumbnailOfWhatIsNoPictureIsNothing) {
  testing::writeFile(dir / "notes.txt", "not a picture\n");
  testing::writeFile(dir / "empty.jpg", "");
  // A bracket in a name is part of the name, not load options.
  ASSERT_TRUE(convert("-size 8x8 xc:blue " + dir / "odd.png"));
  std::filesystem::rename(dir / "odd.png", dir / "odd[shrink=2].png");
  EXPECT_FALSE(images->thumbnail(dir / "notes.txt", 100));
  EXPECT_FALSE(images->thumbnail(dir / "empty.jpg", 100));
  EXPECT_FALSE(images->thumbnail(dir / "missing.jpg", 100));
  auto odd = images->thumbnail(dir / "odd[shrink=2].png", 100);
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->width, 8);
}

} // namespace
} // namespace plenk
