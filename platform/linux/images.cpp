// Pictures on libvips. Every call builds its own pipeline from the caller's pixels; libvips'
// operation cache is switched off so that nothing outlives a call.
#include "platform/linux/images.hpp"

#include <algorithm>
#include <cmath>
#include <glib.h>
#include <mutex>
#include <vips/vips8>

namespace plenk {
namespace {

using vips::VImage;

void startVips() {
  static std::once_flag once;
  std::call_once(once, [] {
    VIPS_INIT("plenk");
    vips_cache_set_max(0);
    // Warnings about odd files must not reach standard error, which carries only our own line.
    g_log_set_handler(
        "VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
  });
}

bool wellFormed(const Picture& p) {
  return p.width >= 1 && p.height >= 1 &&
         p.rgb.size() == static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3;
}

// A view of the caller's pixels; they must outlive every use of the image.
VImage wrap(const Picture& p) {
  return VImage::new_from_memory(const_cast<std::uint8_t*>(p.rgb.data()), p.rgb.size(), p.width,
                                 p.height, 3, VIPS_FORMAT_UCHAR)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// Runs the pipeline and copies the 3-band, 8-bit result out.
Picture unwrap(VImage image) {
  Picture out;
  out.width = image.width();
  out.height = image.height();
  std::size_t size = 0;
  void* data = image.write_to_memory(&size);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  out.rgb.assign(bytes, bytes + size);
  g_free(data);
  return out;
}

std::string takeBlob(VipsBlob* blob) {
  auto* area = reinterpret_cast<VipsArea*>(blob);
  std::string bytes(static_cast<const char*>(area->data), area->length);
  vips_area_unref(area);
  return bytes;
}

// Any picture libvips loaded, as 8-bit sRGB with exactly three bands.
VImage toSrgb(VImage image) {
  if (image.interpretation() != VIPS_INTERPRETATION_sRGB || image.format() != VIPS_FORMAT_UCHAR)
    image = image.colourspace(VIPS_INTERPRETATION_sRGB);
  if (image.has_alpha())
    image = image.flatten(VImage::option()->set("background", std::vector<double>{0, 0, 0}));
  if (image.format() != VIPS_FORMAT_UCHAR) image = image.cast(VIPS_FORMAT_UCHAR);
  if (image.bands() > 3) image = image.extract_band(0, VImage::option()->set("n", 3));
  return image;
}

struct VipsImages final : Images {
  VipsImages() { startVips(); }

  std::optional<Picture> resize(const Picture& picture, int width, int height) override {
    if (!wellFormed(picture) || width < 1 || height < 1) return std::nullopt;
    try {
      double h = static_cast<double>(width) / picture.width;
      double v = static_cast<double>(height) / picture.height;
      VImage out = wrap(picture).resize(
          h, VImage::option()->set("vscale", v)->set("kernel", VIPS_KERNEL_LANCZOS3));
      // Rounding inside the resampler may miss the asked size by a pixel.
      if (out.width() != width || out.height() != height)
        out = out.embed(0, 0, width, height, VImage::option()->set("extend", VIPS_EXTEND_COPY));
      return unwrap(out);
    } catch (const vips::VError&) {
      return std::nullopt;
    }
  }

  // quality 0.0-1.0 maps linearly onto libjpeg's 1-100 scale: Q = round(quality * 100), at
  // least 1. So 0.82 is Q 82 and the floor 0.4 is Q 40.
  std::optional<std::string> jpeg(const Picture& picture, double quality) override {
    if (!wellFormed(picture) || !std::isfinite(quality)) return std::nullopt;
    int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    q = std::clamp(q, 1, 100);
    try {
      return takeBlob(
          wrap(picture).jpegsave_buffer(VImage::option()->set("Q", q)->set("strip", true)));
    } catch (const vips::VError&) {
      return std::nullopt;
    }
  }

  std::optional<std::string> png(const Picture& picture) override {
    if (!wellFormed(picture)) return std::nullopt;
    try {
      return takeBlob(wrap(picture).pngsave_buffer(VImage::option()->set("strip", true)));
    } catch (const vips::VError&) {
      return std::nullopt;
    }
  }

  std::optional<Picture> thumbnail(const std::string& path, int maxEdge) override {
    if (maxEdge < 1) return std::nullopt;
    try {
      // From a source, not a file name: libvips would read "[...]" in a name as load options.
      vips::VSource source = vips::VSource::new_from_file(path.c_str());
      VImage image = VImage::thumbnail_source(
          source, maxEdge, VImage::option()->set("height", maxEdge)->set("size", VIPS_SIZE_DOWN));
      Picture out = unwrap(toSrgb(image));
      if (!wellFormed(out)) return std::nullopt;
      return out;
    } catch (const vips::VError&) {
      return std::nullopt;
    }
  }
};

} // namespace

std::unique_ptr<Images> linuxImages() {
  return std::make_unique<VipsImages>();
}

} // namespace plenk
