#include "platform/linux/on_demand.hpp"

#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <tuple>

namespace plenk {
namespace {

template <typename Service, typename... Args> class OnDemand {
public:
  OnDemand(std::string path, const char* entry, Args... args)
      : path_(std::move(path)), entry_(entry), args_(args...) {}

  // The module's service. A module that cannot be loaded is a broken installation, not a
  // property of the user's file, so it fails the run instead of answering as for a bad file.
  Service& get() {
    std::call_once(once_, [this] { service_.reset(load()); });
    if (!service_) throw std::runtime_error("plenk-media could not load " + path_);
    return *service_;
  }

private:
  Service* load() const {
    // Never closed: what the service hands out (a recording, say) runs the module's code.
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    using Make = Service* (*)(Args...);
    const auto make = reinterpret_cast<Make>(dlsym(handle, entry_));
    return make ? std::apply(make, args_) : nullptr;
  }

  std::string path_;
  const char* entry_;
  std::tuple<Args...> args_;
  std::once_flag once_;
  std::unique_ptr<Service> service_;
};

struct LazyPdf final : Pdf {
  explicit LazyPdf(std::string path) : module(std::move(path), PDF_ENTRY) {}
  std::unique_ptr<PdfDocument> open(const std::string& path) override {
    return module.get().open(path);
  }
  OnDemand<Pdf> module;
};

struct LazyImages final : Images {
  explicit LazyImages(std::string path) : module(std::move(path), IMAGES_ENTRY) {}
  std::optional<Picture> resize(const Picture& picture, int width, int height) override {
    return module.get().resize(picture, width, height);
  }
  std::optional<std::string> jpeg(const Picture& picture, double quality) override {
    return module.get().jpeg(picture, quality);
  }
  std::optional<std::string> png(const Picture& picture) override {
    return module.get().png(picture);
  }
  std::optional<Picture> thumbnail(const std::string& path, int maxEdge) override {
    return module.get().thumbnail(path, maxEdge);
  }
  OnDemand<Images> module;
};

struct LazyRecordings final : Recordings {
  explicit LazyRecordings(std::string path) : module(std::move(path), RECORDINGS_ENTRY) {}
  std::unique_ptr<Recording> open(const std::string& path) override {
    return module.get().open(path);
  }
  OnDemand<Recordings> module;
};

struct LazyRecogniser final : Recogniser {
  explicit LazyRecogniser(std::string path) : module(std::move(path), RECOGNITION_ENTRY) {}
  std::optional<RecognisedLines> lines(const Raster& picture) override {
    return module.get().lines(picture);
  }
  OnDemand<Recogniser> module;
};

struct LazyPicker final : Picker {
  LazyPicker(std::string path, Images& images, Recordings& recordings)
      : module(std::move(path), PICKER_ENTRY, &images, &recordings) {}
  void show(const PickerConfiguration& configuration, PickerPresentation presentation,
            const PickerWindow& window, PickerDelegate& delegate) override {
    module.get().show(configuration, presentation, window, delegate);
  }
  void hide() override { module.get().hide(); }
  void run() override { module.get().run(); }
  OnDemand<Picker, Images*, Recordings*> module;
};

} // namespace

std::string besideProgram(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return file;
  return (exe.parent_path() / file).string();
}

std::unique_ptr<Pdf> pdfOnDemand(std::string modulePath) {
  return std::make_unique<LazyPdf>(std::move(modulePath));
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

namespace plenk {

std::unique_ptr<Picker> pickerOnDemand(std::string modulePath, Images& images,
                                       Recordings& recordings) {
  return std::make_unique<LazyPicker>(std::move(modulePath), images, recordings);
}

} // namespace plenk
