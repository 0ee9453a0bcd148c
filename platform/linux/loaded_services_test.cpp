#include "platform/linux/loaded_services.hpp"
#include "platform/linux/service_module.hpp"
#include "tests/support/fixtures.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

namespace plenk {
namespace {

const std::string MODULE = std::string(PLENK_BIN_DIR) + "/" + SERVICE_MODULE_FILE;

TEST(LoadedServices, NothingLoadsUntilAServiceIsUsedThenEachCallReachesTheRealOne) {
  LoadedServices s = servicesOnFirstUse(MODULE);
  EXPECT_EQ(s.pdf->open("/no/such/file.pdf"), nullptr);
  auto clip = s.recordings->open("/no/such/clip.mov");
  ASSERT_TRUE(clip);
  EXPECT_EQ(clip->facts().videoTracks, 0);
  Picture red{2, 2, std::vector<std::uint8_t>(12, 0)};
  for (std::size_t i = 0; i < red.rgb.size(); i += 3)
    red.rgb[i] = 255;
  auto small = s.images->resize(red, 1, 1);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width, 1);
  EXPECT_EQ(small->rgb.size(), 3u);
  EXPECT_GT(small->rgb[0], 200);
  auto png = s.images->png(red);
  ASSERT_TRUE(png);
  EXPECT_TRUE(png->starts_with("\x89PNG"));
}

TEST(LoadedServices, AMissingModuleFailsEachFirstCallNotTheStart) {
  LoadedServices s = servicesOnFirstUse("/no/such/folder/" + std::string(SERVICE_MODULE_FILE));
  EXPECT_THROW(s.pdf->open("x.pdf"), std::runtime_error);
  EXPECT_THROW(s.recordings->open("x.mov"), std::runtime_error);
  EXPECT_THROW(s.images->thumbnail("x.jpg", 10), std::runtime_error);
  EXPECT_THROW(s.recogniser->lines(Raster{}), std::runtime_error);
  // Still failing, not crashing, when asked again.
  EXPECT_THROW(s.pdf->open("x.pdf"), std::runtime_error);
}

TEST(LoadedServices, TheModuleIsFoundBesideTheRealExecutable) {
  testing::TempDir dir;
  std::filesystem::path real = std::filesystem::canonical(PLENK_BIN_DIR);
  std::filesystem::create_symlink(real / "plenk-media", dir.path / "linked-media");
  EXPECT_EQ(serviceModuleBeside((dir.path / "linked-media").string()),
            (real / SERVICE_MODULE_FILE).string());
  EXPECT_EQ(serviceModuleBeside((dir.path / "missing").string()), "");
}

} // namespace
} // namespace plenk
