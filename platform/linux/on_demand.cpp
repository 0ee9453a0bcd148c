#include "platform/linux/on_demand.hpp"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>

namespace plenk {
namespace {

template <typename Service> class OnDemand {
public:
  OnDemand(std::string path, const char* entry) : path_(std::move(path)), entry_(entry) {}

  // The module's service, or null when it could not be loaded.
  Service* get() {
    std::call_once(once_, [this] { service_.reset(load()); });
    return service_.get();
  }

private:
  Service* load() const {
    // Never closed: what the service hands out (a recording, say) runs the module's code.
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    using Make = Service* (*)();
    const auto make = reinterpret_cast<Make>(dlsym(handle, entry_));
    return make ? make() : nullptr;
  }

  std::string path_;
  const char* entry_;
  std::once_flag once_;
  std::unique_ptr<Service> service_;
};

struct LazyImages final : Images {
  explicit LazyImages(std::string path) : module(std::move(path), IMAGES_ENTRY) {}
  std::optional<Picture> resize(const Picture& picture, int width, int height) override {
    Images* s = module.get();
    return s ? s->resize(picture, width, height) : std::nullopt;
  }
  std::optional<std::string> jpeg(const Picture& picture, double quality) override {
    Images* s = module.get();
    return s ? s->jpeg(picture, quality) : std::nullopt;
  }
  std::optional<std::string> png(const Picture& picture) override {
    Images* s = module.get();
    return s ? s->png(picture) : std::nullopt;
  }
  std::optional<Picture> thumbnail(const std::string& path, int maxEdge) override {
    Images* s = module.get();
    return s ? s->thumbnail(path, maxEdge) : std::nullopt;
  }
  OnDemand<Images> module;
};

// What a file that is no recording opens as.
struct NoTracks final : Recording {
  RecordingFacts facts() override { return {}; }
  std::optional<Picture> pictureAt(double, int) override { return std::nullopt; }
  bool canExportSound() override { return false; }
  ExportOutcome exportSound(const std::string&, double) override { return {}; }
};

struct LazyRecordings final : Recordings {
  explicit LazyRecordings(std::string path) : module(std::move(path), RECORDINGS_ENTRY) {}
  std::unique_ptr<Recording> open(const std::string& path) override {
    Recordings* s = module.get();
    std::unique_ptr<Recording> r = s ? s->open(path) : nullptr;
    return r ? std::move(r) : std::make_unique<NoTracks>();
  }
  OnDemand<Recordings> module;
};

struct LazyRecogniser final : Recogniser {
  explicit LazyRecogniser(std::string path) : module(std::move(path), RECOGNITION_ENTRY) {}
  std::optional<RecognisedLines> lines(const Raster& picture) override {
    Recogniser* s = module.get();
    return s ? s->lines(picture) : std::nullopt;
  }
  OnDemand<Recogniser> module;
};

} // namespace

std::string besideProgram(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return file;
  return (exe.parent_path() / file).string();
}

std::unique_ptr<Images> imagesOnDemand(std::string modulePath) {
  return std::make_unique<LazyImages>(std::move(modulePath));
}

std::unique_ptr<Recordings> recordingsOnDemand(std::string modulePath) {
  return std::make_unique<LazyRecordings>(std::move(modulePath));
}

std::unique_ptr<Recogniser> recogniserOnDemand(std::string modulePath) {
  return std::make_unique<LazyRecogniser>(std::move(modulePath));
}

} // namespace plenk
