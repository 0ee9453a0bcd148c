// What the document verbs share: the kind test, opening a PDF with its two refusals, and
// cutting a text to a number of user-perceived characters.
#pragma once

#include "media/context.hpp"
#include "platform/pdf.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace plenk::media {

// True when "%PDF-" occurs anywhere in the first 1024 bytes of the file; false when it does not
// or when the file cannot be opened for reading.
bool looksLikePDF(const std::string& path);

// An open, unlocked document; E_INPUT when the file cannot be read as a PDF or is locked.
std::unique_ptr<PdfDocument> openPDF(Media& media, const std::string& path);

struct CutText {
  std::string text;
  std::int64_t chars = 0; // characters kept
  bool truncated = false; // the text had more than the limit
};

// The first maxChars user-perceived characters of text (a cut never splits one).
CutText cutText(std::string text, std::int64_t maxChars);

} // namespace plenk::media
