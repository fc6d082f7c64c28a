#include "report/treemap_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace quern {
namespace {

// Every unit of the area belongs to exactly one tile, and each tile's area
// is its weight's share to within a strip of one unit across the area,
// which rounding the rows to whole units may cost.
void expect_exact_cover(const std::vector<uint64_t>& weights, const tile_box& area) {
  const std::vector<tile_box> tiles = squarify(weights, area);
  ASSERT_EQ(tiles.size(), weights.size());
  std::vector<int> covered(static_cast<size_t>(area.width * area.height), 0);
  uint64_t sum = 0;
  for (const uint64_t weight : weights) sum += weight;
  const auto room = static_cast<int64_t>(area.width) * area.height;
  for (size_t at = 0; at < tiles.size(); ++at) {
    const tile_box& tile = tiles[at];
    ASSERT_GE(tile.width, 0);
    ASSERT_GE(tile.height, 0);
    ASSERT_TRUE(tile.x >= area.x && tile.y >= area.y && tile.x + tile.width <= area.x + area.width &&
                tile.y + tile.height <= area.y + area.height)
        << at;
    for (int32_t y = tile.y; y < tile.y + tile.height; ++y) {
      for (int32_t x = tile.x; x < tile.x + tile.width; ++x)
        ++covered[static_cast<size_t>((y - area.y) * area.width + (x - area.x))];
    }
    const int64_t ideal = static_cast<int64_t>(weights[at]) * room / static_cast<int64_t>(sum);
    EXPECT_LE(std::abs(static_cast<int64_t>(tile.width) * tile.height - ideal), std::max(area.width, area.height))
        << "tile " << at << " of " << weights.size();
  }
  EXPECT_TRUE(std::all_of(covered.begin(), covered.end(), [](int count) { return count == 1; }));
}

TEST(Squarify, TilesCoverTheAreaOnceEachInProportionToTheirWeights) {
  std::vector<uint64_t> falling;
  for (uint64_t weight = 1 << 19; weight > 0; weight = weight * 3 / 4) falling.push_back(weight);
  std::vector<uint64_t> ties(37, 1000);
  const std::vector<uint64_t> one_large{1 << 19, 5, 4, 3, 2, 1, 1, 1};
  for (const std::vector<uint64_t>& weights : {std::vector<uint64_t>{1}, falling, ties, one_large}) {
    for (const tile_box& area : {tile_box{0, 0, 960, 600}, tile_box{2, 15, 156, 583}, tile_box{7, 3, 5, 1}}) {
      if (weights.size() > static_cast<size_t>(area.width * area.height)) continue;
      SCOPED_TRACE(testing::Message() << weights.size() << " weights in " << area.width << "x" << area.height);
      expect_exact_cover(weights, area);
    }
  }
}

// Squarified rows keep tiles near square where a slice of the area per
// tile would make them thin.
TEST(Squarify, KeepsTilesCloseToSquare) {
  std::vector<uint64_t> weights;
  for (uint64_t weight = 1 << 19; weights.size() < 60; weight = weight * 9 / 10) weights.push_back(weight);
  std::vector<double> aspects;
  for (const tile_box& tile : squarify(weights, {0, 0, 960, 600}))
    aspects.push_back(static_cast<double>(std::max(tile.width, tile.height)) / std::min(tile.width, tile.height));
  std::sort(aspects.begin(), aspects.end());
  EXPECT_LT(aspects[aspects.size() / 2], 2.0);
  EXPECT_LT(aspects.back(), 4.0);
}

TEST(Squarify, WeightsOfNothingGetNoRoom) {
  const std::vector<tile_box> tiles = squarify(std::vector<uint64_t>{3, 1, 0, 0}, {0, 0, 40, 10});
  EXPECT_EQ(tiles[0], (tile_box{0, 0, 30, 10}));
  EXPECT_EQ(tiles[1], (tile_box{30, 0, 10, 10}));
  EXPECT_EQ(tiles[2].width * tiles[2].height, 0);
  EXPECT_EQ(tiles[3].width * tiles[3].height, 0);
}

// Sums beyond 64 bits keep their proportions, and what weighs nothing
// beside them becomes 0.
TEST(LayoutWeights, ScaleSumsOfAnyWidthByOnePowerOfTwo) {
  const byte_total big = byte_total::from_words(uint64_t{1} << 36, 0);  // 2^100
  const byte_total half = byte_total::from_words(uint64_t{1} << 35, 0);
  const std::vector<uint64_t> weights = layout_weights(std::vector<byte_total>{big, half, half, byte_total(1)});
  EXPECT_EQ(weights[0], 2 * weights[1]);
  EXPECT_EQ(weights[1], weights[2]);
  EXPECT_EQ(weights[3], 0u);
  EXPECT_LE(weights[0] + weights[1] + weights[2], uint64_t{1} << kWeightBits);
  EXPECT_EQ(layout_weights(std::vector<byte_total>{byte_total(3), byte_total(1)}), (std::vector<uint64_t>{3, 1}));
}

}  // namespace
}  // namespace quern
