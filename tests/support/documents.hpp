// Documents made at test time: text PDFs written by hand, scans made from them with
// pdftoppm and img2pdf, encrypted copies made with qpdf. Header only; used by the tests and the
// benchmarks of any target.
#pragma once

#include "tests/support/fixtures.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// poppler asks fontconfig for the fonts a PDF does not embed, and fontconfig keeps what it
// loads for the life of the process; LeakSanitizer would report that as a leak of every test.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace plenk::testing {

// A fresh folder, removed with everything in it at the end of its scope.
inline constexpr double A4_WIDTH = 595.28;
inline constexpr double A4_HEIGHT = 841.89;
inline constexpr double LETTER_WIDTH = 612;
inline constexpr double LETTER_HEIGHT = 792;

struct TextPage {
  double width = A4_WIDTH;
  double height = A4_HEIGHT;
  // Printable ASCII lines, set in Helvetica from the top left.
  std::vector<std::string> lines = {};
  double fontSize = 12;
  // The page's /Rotate, in degrees.
  int rotate = 0;
};

inline std::string pdfString(const std::string& s) {
  std::string out = "(";
  for (char c : s) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

// A PDF with one text page per entry and a correct cross-reference table.
inline std::string textPdf(const std::vector<TextPage>& pages) {
  std::vector<std::string> objects; // objects[i] is object i + 1
  const int n = static_cast<int>(pages.size());
  // 1: catalog, 2: pages, 3: font, then per page: the page and its content stream.
  std::ostringstream kids;
  for (int i = 0; i < n; ++i)
    kids << (i ? " " : "") << 4 + 2 * i << " 0 R";
  objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
  objects.push_back("<< /Type /Pages /Kids [" + kids.str() + "] /Count " + std::to_string(n) +
                    " >>");
  objects.push_back(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  for (int i = 0; i < n; ++i) {
    const TextPage& p = pages[static_cast<std::size_t>(i)];
    std::ostringstream content;
    content << "BT /F1 " << p.fontSize << " Tf " << p.fontSize * 1.4 << " TL 50 " << p.height - 60
            << " Td\n";
    for (const std::string& line : p.lines)
      content << pdfString(line) << " Tj T*\n";
    content << "ET\n";
    std::ostringstream page;
    page << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " << p.width << " " << p.height
         << "] /Rotate " << p.rotate << " /Resources << /Font << /F1 3 0 R >> >> /Contents "
         << 5 + 2 * i << " 0 R >>";
    objects.push_back(page.str());
    const std::string stream = content.str();
    objects.push_back("<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream +
                      "endstream");
  }
  std::string out = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t off : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", off);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return out;
}

inline void run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("fixture command failed: " + command);
}

inline std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// A scan of a text PDF: each page drawn as a grey picture at `dpi` and put into a new PDF of
// the same page size, with no text layer.
inline void scanOf(const std::string& pdf, const std::string& out, int dpi = 150) {
  const std::string prefix = out + ".page";
  run("pdftoppm -r " + std::to_string(dpi) + " -gray -png " + quoted(pdf) + " " + quoted(prefix));
  run("img2pdf " + quoted(prefix) + "-*.png -o " + quoted(out));
  run("rm -f " + quoted(prefix) + "-*.png");
}

// A copy locked with a user password.
inline void encryptedCopy(const std::string& pdf, const std::string& out) {
  run("qpdf --encrypt secret owner 256 -- " + quoted(pdf) + " " + quoted(out));
}

// Lines of ordinary words that a recogniser reads back reliably.
inline std::vector<std::string> proseLines(int page, int count) {
  static const char* words[] = {"harbour", "lantern", "quiet",  "meadow",  "copper", "violet",
                                "window",  "garden",  "silver", "morning", "river",  "stone"};
  std::vector<std::string> lines = {};
  for (int l = 0; l < count; ++l) {
    std::string line = "Page " + std::to_string(page) + " line " + std::to_string(l + 1) + ":";
    for (int w = 0; w < 6; ++w)
      line += std::string(" ") + words[(page * 7 + l * 5 + w) % 12];
    lines.push_back(line);
  }
  return lines;
}

} // namespace plenk::testing
