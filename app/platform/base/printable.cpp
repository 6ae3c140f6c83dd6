#include "app/platform/base/printable.h"

#include <cstdint>

namespace kova {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendEscaped(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0f];
}

// The length of the valid UTF-8 sequence of a printable character at the
// start of `text`, or 0 when there is none (overlong forms, surrogates, code
// points above U+10FFFF and the C1 controls U+0080..U+009F count as invalid).
std::size_t PrintableUtf8Length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  std::uint32_t code_point = 0;
  std::uint32_t smallest = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    code_point = lead & 0x1fu;
    smallest = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    code_point = lead & 0x0fu;
    smallest = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    code_point = lead & 0x07u;
    smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xc0u) != 0x80u) return 0;
    code_point = (code_point << 6) | (next & 0x3fu);
  }
  if (code_point < smallest || code_point > 0x10ffff) return 0;
  if (code_point >= 0xd800 && code_point <= 0xdfff) return 0;
  if (code_point <= 0x9f) return 0;  // C1 controls
  return length;
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<unsigned char>(text[0]);
    if (byte >= 0x20 && byte < 0x7f) {
      out += text[0];
      text.remove_prefix(1);
      continue;
    }
    const std::size_t length = byte >= 0x80 ? PrintableUtf8Length(text) : 0;
    if (length == 0) {
      AppendEscaped(out, byte);
      text.remove_prefix(1);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

}  // namespace kova
