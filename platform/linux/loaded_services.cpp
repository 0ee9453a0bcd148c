#include "platform/linux/loaded_services.hpp"

#include "platform/linux/service_module.hpp"

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <stdexcept>

namespace plenk {

namespace {

// Opened at most once; never closed, since the objects it made may live until the process ends.
class Module {
public:
  explicit Module(std::string path) : path_(std::move(path)) {}

  const ServiceMakers& makers() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!makers_) {
      // RTLD_NOW: a missing symbol shows here, not in the middle of a verb.
      void* handle = ::dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) throw std::runtime_error("cannot load " + path_ + ": " + ::dlerror());
      auto entry = reinterpret_cast<ServiceModuleEntry>(::dlsym(handle, SERVICE_MODULE_ENTRY));
      if (!entry) throw std::runtime_error(path_ + " has no " + SERVICE_MODULE_ENTRY);
      makers_ = entry();
    }
    return *makers_;
  }

private:
  std::string path_;
  std::mutex lock_;
  const ServiceMakers* makers_ = nullptr;
};

// One real service, made at the first call that needs it.
template <typename Service> class OnFirstUse {
public:
  using Maker = std::unique_ptr<Service> (*ServiceMakers::*)();
  OnFirstUse(std::shared_ptr<Module> module, Maker maker)
      : module_(std::move(module)), maker_(maker) {}

  Service& get() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!real_) real_ = (module_->makers().*maker_)();
    if (!real_) throw std::runtime_error("a service of the module could not be made");
    return *real_;
  }

private:
  std::shared_ptr<Module> module_;
  Maker maker_;
  std::mutex lock_;
  std::unique_ptr<Service> real_;
};

struct LoadedPdf final : Pdf {
  OnFirstUse<Pdf> real;
  explicit LoadedPdf(std::shared_ptr<Module> m) : real(std::move(m), &ServiceMakers::pdf) {}
  std::unique_ptr<PdfDocument> open(const std::string& path) override {
    return real.get().open(path);
  }
};

struct LoadedRecogniser final : Recogniser {
  OnFirstUse<Recogniser> real;
  explicit LoadedRecogniser(std::shared_ptr<Module> m)
      : real(std::move(m), &ServiceMakers::recogniser) {}
  std::optional<RecognisedLines> lines(const Raster& picture) override {
    return real.get().lines(picture);
  }
};

struct LoadedImages final : Images {
  OnFirstUse<Images> real;
  explicit LoadedImages(std::shared_ptr<Module> m) : real(std::move(m), &ServiceMakers::images) {}
  std::optional<Picture> resize(const Picture& picture, int width, int height) override {
    return real.get().resize(picture, width, height);
  }
  std::optional<std::string> jpeg(const Picture& picture, double quality) override {
    return real.get().jpeg(picture, quality);
  }
  std::optional<std::string> png(const Picture& picture) override {
    return real.get().png(picture);
  }
  std::optional<Picture> thumbnail(const std::string& path, int maxEdge) override {
    return real.get().thumbnail(path, maxEdge);
  }
};

struct LoadedRecordings final : Recordings {
  OnFirstUse<Recordings> real;
  explicit LoadedRecordings(std::shared_ptr<Module> m)
      : real(std::move(m), &ServiceMakers::recordings) {}
  std::unique_ptr<Recording> open(const std::string& path) override {
    return real.get().open(path);
  }
};

} // namespace

LoadedServices servicesOnFirstUse(std::string modulePath) {
  auto module = std::make_shared<Module>(std::move(modulePath));
  return {std::make_unique<LoadedPdf>(module), std::make_unique<LoadedRecogniser>(module),
          std::make_unique<LoadedImages>(module), std::make_unique<LoadedRecordings>(module)};
}

std::string serviceModuleBeside(std::string_view executable) {
  char resolved[PATH_MAX];
  if (!::realpath(std::string(executable).c_str(), resolved)) return {};
  std::string path = resolved;
  path.erase(path.rfind('/') + 1);
  return path + SERVICE_MODULE_FILE;
}

} // namespace plenk
