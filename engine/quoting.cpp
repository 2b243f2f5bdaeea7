#include "quoting.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quenvarith::engine {

namespace {

struct CodePointRange {
  char32_t first;
  char32_t last;
};

// Characters that print nothing of their own yet act on the terminal or on how the text around
// them reads: the C0 and C1 controls and DEL, the soft hyphen, invisible separators and joiners,
// the marks and overrides of text direction, the line and paragraph separators, the byte order
// mark and the tags.
constexpr std::array<CodePointRange, 13> kHidden{{
    {0x00, 0x1f},
    {0x7f, 0x9f},
    {0xad, 0xad},
    {0x061c, 0x061c},
    {0x115f, 0x1160},
    {0x180e, 0x180e},
    {0x200b, 0x200f},
    {0x2028, 0x202e},
    {0x2060, 0x206f},
    {0x3164, 0x3164},
    {0xfeff, 0xfeff},
    {0xfff9, 0xfffb},
    {0xe0000, 0xe007f},
}};

bool hidden(char32_t codePoint) {
  return std::ranges::any_of(kHidden, [codePoint](const CodePointRange& range) {
    return codePoint >= range.first && codePoint <= range.last;
  });
}

struct Character {
  size_t length;  // bytes it takes; 1 for a byte that starts no valid sequence
  bool valid;
  char32_t codePoint;
};

// The character that starts `text` (not empty), by the rules of RFC 3629: no overlong forms, no
// surrogates, nothing beyond U+10FFFF.
Character firstCharacter(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  constexpr Character kInvalid{1, false, 0};
  if (lead < 0x80) {
    return {1, true, lead};
  }
  size_t length = 0;
  char32_t codePoint = 0;
  unsigned char lowest = 0x80;  // the range the second byte must be in
  unsigned char highest = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    codePoint = lead & 0x1fU;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    codePoint = lead & 0x0fU;
    lowest = lead == 0xe0 ? 0xa0 : 0x80;
    highest = lead == 0xed ? 0x9f : 0xbf;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    codePoint = lead & 0x07U;
    lowest = lead == 0xf0 ? 0x90 : 0x80;
    highest = lead == 0xf4 ? 0x8f : 0xbf;
  } else {
    return kInvalid;
  }
  if (text.size() < length) {
    return kInvalid;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool inRange = i == 1 ? byte >= lowest && byte <= highest : byte >= 0x80 && byte <= 0xbf;
    if (!inRange) {
      return kInvalid;
    }
    codePoint = (codePoint << 6U) | (byte & 0x3fU);
  }
  return {length, true, codePoint};
}

void appendEscaped(std::string& out, std::string_view bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kDigits[byte >> 4U];
    out += kDigits[byte & 0x0fU];
  }
}

// Appends the printable form of `text`, up to `limit` bytes of it; true when all of it fitted.
bool appendPrintable(std::string& out, std::string_view text, size_t limit) {
  size_t used = 0;
  while (used < text.size()) {
    const Character character = firstCharacter(text.substr(used));
    if (character.length > limit - used) {
      return false;
    }
    const std::string_view bytes = text.substr(used, character.length);
    if (character.valid && !hidden(character.codePoint)) {
      out += bytes;
    } else {
      appendEscaped(out, bytes);
    }
    used += character.length;
  }
  return true;
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  (void)appendPrintable(out, text, text.size());
  return out;
}

std::string quote(std::string_view text, size_t limit) {
  std::string out = "'";
  const bool whole = appendPrintable(out, text, limit < text.size() ? limit : text.size());
  return out + (whole ? "'" : "...'");
}

}  // namespace quenvarith::engine
