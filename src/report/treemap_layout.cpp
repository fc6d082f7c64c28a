#include "report/treemap_layout.h"

#include <algorithm>

namespace quern {

namespace {

// How far from a square the worst tile of a row would be, in 1024ths:
// a row of weights summing to `row` between `largest` and `smallest`, laid
// along the short side of a rectangle whose long side is `long_side` and
// which stands for `remaining` weight. A tile of weight r is row * long_side
// / remaining thick and short_side * r / row long.
uint64_t worst_aspect(uint64_t row, uint64_t largest, uint64_t smallest, uint64_t short_side, uint64_t long_side,
                      uint64_t remaining) {
  const uint64_t row_squared = row * row * long_side;
  const uint64_t thin = (row_squared << 10) / (remaining * short_side * smallest);
  const uint64_t flat = ((remaining * short_side * largest) << 10) / row_squared;
  return std::max(thin, flat);
}

// Where the boundary after `before` of `row` falls along a side of `length`
// units from `start`: rounded, so that the last one is the side's end.
int32_t boundary(int32_t start, int32_t length, uint64_t before, uint64_t row) {
  return start + static_cast<int32_t>((before * static_cast<uint64_t>(length) + row / 2) / row);
}

}  // namespace

std::vector<uint64_t> layout_weights(std::span<const byte_total> sizes) {
  byte_total sum;
  for (const byte_total& size : sizes) sum += size;
  const int shift = std::max(0, bit_width(sum) - kWeightBits);
  std::vector<uint64_t> weights;
  weights.reserve(sizes.size());
  for (const byte_total& size : sizes) weights.push_back(shifted_down(size, shift));
  return weights;
}

std::vector<tile_box> squarify(std::span<const uint64_t> weights, tile_box area) {
  std::vector<tile_box> tiles(weights.size());
  uint64_t remaining = 0;
  size_t count = 0;
  for (const uint64_t weight : weights) {
    remaining += weight;
    if (weight > 0) ++count;
  }
  size_t next = 0;
  while (next < count && area.width > 0 && area.height > 0) {
    const bool wide = area.width >= area.height;
    const auto short_side = static_cast<uint64_t>(wide ? area.height : area.width);
    const auto long_side = static_cast<uint64_t>(wide ? area.width : area.height);
    // The row grows while its worst tile does not get worse; weights come
    // largest first, so the newest tile is the smallest.
    size_t end = next + 1;
    uint64_t row = weights[next];
    while (end < count) {
      const uint64_t wider = row + weights[end];
      if (worst_aspect(wider, weights[next], weights[end], short_side, long_side, remaining) >
          worst_aspect(row, weights[next], weights[end - 1], short_side, long_side, remaining)) {
        break;
      }
      row = wider;
      ++end;
    }
    const auto thickness =
        end == count ? static_cast<int32_t>(long_side)
                     : static_cast<int32_t>(std::min(long_side, (row * long_side + remaining / 2) / remaining));
    uint64_t before = 0;
    for (size_t at = next; at < end; ++at) {
      tile_box& tile = tiles[at];
      if (wide) {
        tile.x = area.x;
        tile.width = thickness;
        tile.y = boundary(area.y, area.height, before, row);
        tile.height = boundary(area.y, area.height, before + weights[at], row) - tile.y;
      } else {
        tile.y = area.y;
        tile.height = thickness;
        tile.x = boundary(area.x, area.width, before, row);
        tile.width = boundary(area.x, area.width, before + weights[at], row) - tile.x;
      }
      before += weights[at];
    }
    if (wide) {
      area.x += thickness;
      area.width -= thickness;
    } else {
      area.y += thickness;
      area.height -= thickness;
    }
    remaining -= row;
    next = end;
  }
  // Tiles left when the area is used up keep no room.
  for (size_t at = next; at < tiles.size(); ++at) tiles[at] = {area.x, area.y, 0, 0};
  return tiles;
}

}  // namespace quern
