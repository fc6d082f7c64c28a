#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_total.h"

namespace quern {

// A rectangle of a treemap, in whole units of its canvas.
struct tile_box {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;

  friend bool operator==(const tile_box&, const tile_box&) = default;
};

// Sizes of any width as weights the layout can multiply exactly: all
// divided by one power of two, so that their sum fits in kWeightBits bits.
// A size too small beside the others to weigh anything becomes 0.
inline constexpr int kWeightBits = 20;
std::vector<uint64_t> layout_weights(std::span<const byte_total> sizes);

// Cuts the area into one tile per weight, largest first, so that each
// tile's area is its weight's share of the area, rounded to whole units,
// and the tiles cover the area without overlap. Rows of tiles are laid
// along the shorter side, each row taking tiles while that keeps its worst
// tile closer to a square (the squarified layout). The weights come largest
// first, at most 2^kWeightBits in sum, and the area is at most 1024 units on
// a side; a weight of 0 gets an empty tile.
std::vector<tile_box> squarify(std::span<const uint64_t> weights, tile_box area);

}  // namespace quern
