#include "platform/text.hpp"

#include <memory>
#include <stdexcept>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace plenk::text {

namespace {

struct UTextCloser {
  void operator()(UText* t) const { utext_close(t); }
};

// ICU's grapheme iterator over valid UTF-8, made when a text first needs it.
class Graphemes {
public:
  explicit Graphemes(std::string_view utf8) : text_(utf8) {}

  // The first boundary after the boundary at `offset`.
  std::size_t following(std::size_t offset) {
    if (!it_) open();
    return static_cast<std::size_t>(it_->following(static_cast<int32_t>(offset)));
  }

private:
  void open() {
    UErrorCode status = U_ZERO_ERROR;
    ut_.reset(utext_openUTF8(nullptr, text_.data(), static_cast<int64_t>(text_.size()), &status));
    it_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) throw std::runtime_error("grapheme iterator unavailable");
    it_->setText(ut_.get(), status);
    if (U_FAILURE(status)) throw std::runtime_error("grapheme iterator unavailable");
  }

  std::string_view text_;
  std::unique_ptr<UText, UTextCloser> ut_;
  std::unique_ptr<icu::BreakIterator> it_;
};

bool isAscii(char c) {
  return static_cast<unsigned char>(c) < 0x80;
}

// Walks the grapheme boundaries of valid UTF-8; `visit(byteOffset)` returns false to stop.
// No ASCII character extends, joins, prepends or pairs (UAX 29), so after an ASCII character
// that is followed by another ASCII character or by the end there is always a boundary, except
// inside CR LF. That covers most of a Latin text; ICU walks the rest.
template <typename Visit> void eachBoundary(std::string_view utf8, Visit visit) {
  Graphemes icu(utf8);
  const std::size_t n = utf8.size();
  std::size_t at = 0; // always a boundary
  while (at < n) {
    std::size_t next = 0;
    if (isAscii(utf8[at]) && at + 1 == n)
      next = n;
    else if (isAscii(utf8[at]) && isAscii(utf8[at + 1]) &&
             !(utf8[at] == '\r' && utf8[at + 1] == '\n'))
      next = at + 1;
    else
      next = icu.following(at);
    if (next <= at || next > n) return; // ICU's DONE, never expected before the end
    if (!visit(next)) return;
    at = next;
  }
}

} // namespace

std::size_t validUtf8Prefix(std::string_view s) {
  int64_t i = 0, n = static_cast<int64_t>(s.size());
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  while (i < n) {
    int64_t start = i;
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0) return static_cast<std::size_t>(start);
  }
  return s.size();
}

bool isValidUtf8(std::string_view s) {
  return validUtf8Prefix(s) == s.size();
}

std::string sanitizeUtf8(std::string_view s) {
  if (isValidUtf8(s)) return std::string(s);
  std::string out;
  out.reserve(s.size() + 8);
  int32_t i = 0, n = static_cast<int32_t>(s.size());
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  while (i < n) {
    int32_t start = i;
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0)
      out += "\xEF\xBF\xBD";
    else
      out.append(s.substr(start, i - start));
  }
  return out;
}

std::size_t graphemeCount(std::string_view utf8) {
  if (utf8.empty()) return 0;
  std::string valid = sanitizeUtf8(utf8);
  std::size_t count = 0;
  eachBoundary(valid, [&](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

std::string graphemePrefix(std::string_view utf8, std::size_t count) {
  return graphemeCut(std::string(utf8), count).text;
}

std::size_t graphemeCountUpTo(std::string_view utf8, std::size_t limit) {
  if (utf8.empty() || limit == 0) return 0;
  const std::string valid = sanitizeUtf8(utf8);
  std::size_t count = 0;
  eachBoundary(valid, [&](std::size_t) { return ++count < limit; });
  return count;
}

GraphemeCut graphemeCut(std::string utf8, std::size_t count) {
  GraphemeCut out;
  out.text = isValidUtf8(utf8) ? std::move(utf8) : sanitizeUtf8(utf8);
  if (count == 0) {
    out.more = !out.text.empty();
    out.text.clear();
    return out;
  }
  std::size_t end = out.text.size();
  eachBoundary(out.text, [&](std::size_t b) {
    end = b;
    return ++out.count < count;
  });
  out.more = end < out.text.size();
  out.text.resize(end);
  return out;
}

std::string lower(std::string_view utf8) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  u.toLower(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

bool isSpaceOrNewline(char32_t c) {
  if (c >= 0x09 && c <= 0x0D) return true;
  if (c == 0x85 || c == 0x2028 || c == 0x2029) return true;
  return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

std::string_view trim(std::string_view s) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data());
  int32_t n = static_cast<int32_t>(s.size());
  int32_t begin = 0;
  while (begin < n) {
    int32_t next = begin;
    UChar32 c;
    U8_NEXT(p, next, n, c);
    if (c < 0 || !isSpaceOrNewline(static_cast<char32_t>(c))) break;
    begin = next;
  }
  int32_t end = n;
  while (end > begin) {
    int32_t prev = end;
    UChar32 c;
    U8_PREV(p, 0, prev, c);
    if (c < 0 || !isSpaceOrNewline(static_cast<char32_t>(c))) break;
    end = prev;
  }
  return s.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::string nfc(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) throw std::runtime_error("NFC normaliser unavailable");
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  icu::UnicodeString out = n->normalize(u, status);
  if (U_FAILURE(status)) throw std::runtime_error("NFC normalisation failed");
  std::string s;
  out.toUTF8String(s);
  return s;
}

int compareNfc(std::string_view a, std::string_view b) {
  // Byte order of UTF-8 is code-point order.
  return nfc(a).compare(nfc(b));
}

std::u16string toUtf16(std::string_view utf8) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  return std::u16string(u.getBuffer(), static_cast<std::size_t>(u.length()));
}

std::string fromUtf16(std::u16string_view utf16) {
  // Read-only alias of the caller's text: no copy before the conversion.
  const icu::UnicodeString u(false, utf16.data(), static_cast<int32_t>(utf16.size()));
  std::string out;
  u.toUTF8String(out);
  return out;
}

} // namespace plenk::text
