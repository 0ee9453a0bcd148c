#include "platform/linux/atspi_text.hpp"

namespace plenk::atspi {

namespace {

constexpr std::string_view EMBED = "\xEF\xBF\xBC";

} // namespace

std::string withoutEmbeds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t from = 0;;) {
    auto at = text.find(EMBED, from);
    out.append(text.substr(from, at == text.npos ? text.npos : at - from));
    if (at == text.npos) return out;
    from = at + EMBED.size();
  }
}

std::vector<std::string> piecesAroundChildren(std::string_view text, std::size_t childCount) {
  std::vector<std::string> pieces;
  for (std::size_t from = 0;;) {
    auto at = text.find(EMBED, from);
    pieces.emplace_back(text.substr(from, at == text.npos ? text.npos : at - from));
    if (at == text.npos) break;
    from = at + EMBED.size();
  }
  if (pieces.size() != childCount + 1) pieces.clear();
  return pieces;
}

} // namespace plenk::atspi
