// Colour maps of the preview: 256 colours each, from the lowest code
// (entry 0) to the highest (entry 255).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kova {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

enum class ColourMap { Viridis, Grey };

using ColourTable = std::array<Rgb, 256>;

const ColourTable& ColourTableOf(ColourMap map) noexcept;

// "viridis" or "grey"; nothing for another name.
std::optional<ColourMap> ColourMapNamed(std::string_view name) noexcept;

}  // namespace kova
