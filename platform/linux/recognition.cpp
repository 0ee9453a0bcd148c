#include "platform/linux/recognition.hpp"

#include <leptonica/allheaders.h>
#include <memory>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace plenk {
namespace {

// Tesseract's default when a picture carries no resolution would be guessed and reported.
constexpr int FALLBACK_PPI = 144;

struct TesseractRecogniser final : Recogniser {
  TesseractRecogniser(std::string dir, std::string lang)
      : dataDir(std::move(dir)), language(std::move(lang)) {}

  ~TesseractRecogniser() override {
    if (api) api->End();
  }

  bool load() {
    if (api) return true;
    if (failedToLoad) return false;
    // Both libraries print warnings on standard error, which belongs to the program.
    setMsgSeverity(L_SEVERITY_NONE);
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    engine->SetVariable("debug_file", "/dev/null");
    // The LSTM engine is the accurate one; Debian's data holds only it.
    if (engine->Init(dataDir.c_str(), language.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
      failedToLoad = true;
      return false;
    }
    // Whole pages: find the blocks and columns, as the tesseract command does.
    engine->SetPageSegMode(tesseract::PSM_AUTO);
    api = std::move(engine);
    return true;
  }

  std::optional<RecognisedLines> lines(const Raster& picture) override {
    if (picture.width < 1 || picture.height < 1 ||
        (picture.channels != 1 && picture.channels != 3) ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) *
                                     static_cast<std::size_t>(picture.height) *
                                     static_cast<std::size_t>(picture.channels))
      return std::nullopt;
    if (!load()) return std::nullopt;

    api->SetImage(picture.pixels.data(), picture.width, picture.height, picture.channels,
                  picture.width * picture.channels);
    const double ppi = picture.pixelsPerInch > 0 ? picture.pixelsPerInch : FALLBACK_PPI;
    api->SetSourceResolution(static_cast<int>(ppi + 0.5));
    if (api->Recognize(nullptr) != 0) {
      api->Clear();
      return std::nullopt;
    }

    RecognisedLines out;
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (it) {
      do {
        if (it->Empty(tesseract::RIL_TEXTLINE)) continue;
        std::unique_ptr<char[]> line(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!line) {
          out.emplace_back(std::nullopt);
          continue;
        }
        std::string s(line.get());
        // Tesseract ends every line with a line feed of its own.
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
          s.pop_back();
        out.emplace_back(std::move(s));
      } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    it.reset();
    api->Clear();
    return out;
  }

  std::string dataDir;
  std::string language;
  std::unique_ptr<tesseract::TessBaseAPI> api;
  bool failedToLoad = false;
};

} // namespace

std::unique_ptr<Recogniser> tesseractRecogniser(std::string dataDir, std::string language) {
  return std::make_unique<TesseractRecogniser>(std::move(dataDir), std::move(language));
}

} // namespace plenk
