#include "report/treemap.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "report/changes.h"
#include "report/directory_locks.h"
#include "report/old_summary.h"
#include "report/overview_columns.h"
#include "report/page_names.h"
#include "report/summary_escaping.h"
#include "report/summary_format.h"
#include "report/treemap_layout.h"

namespace quern {

namespace {

// Colours by depth, and by the change of bytes where the report compares.
enum class tone : uint8_t {
  directory,
  nested,
  files,
  others,
  grown_much,
  grown,
  shrunk,
  shrunk_much,
  same,
  added,
  unknown,
};

struct tone_style {
  std::string_view fill;
  std::string_view label;  // in the key; empty for the tones of depth
  size_t label_shown;
};

constexpr tone_style kTones[] = {
    {"#7b96c8", "", 0},
    {"#a8bbe0", "", 0},
    {"#d8c98e", "", 0},
    {"#c8c8c8", "", 0},
    {"#c8483a", "stark gewachsen", 15},
    {"#eda493", "gewachsen", 9},
    {"#a8d8a0", "geschrumpft", 11},
    {"#3f9a4a", "stark geschrumpft", 17},
    {"#e4e4e4", "unver&#228;ndert", 11},
    {"#f0a030", "neu", 3},
    {"#b0a8c8", "unbekannt", 9},
};
const tone_style& style_of(tone t) { return kTones[static_cast<size_t>(t)]; }

// A change of at least this many tenths of a percent of the larger side is
// shown as much.
constexpr uint64_t kMuchChange = 100;

// The room a label takes: a monospaced character of the map's font is at
// most 7 units wide, and a line 15 high.
constexpr int32_t kCharacterWidth = 7;
constexpr int32_t kLineHeight = 15;
// Nothing smaller than this on a side is drawn as a tile of its own.
constexpr int32_t kSmallestSide = 3;
// A tile with subdirectories nests them below a band for its name.
constexpr int32_t kBandHeight = 15;
constexpr int32_t kInset = 2;
constexpr int kMergeRounds = 16;

enum class tile_kind : uint8_t { directory, files, others };

struct map_tile {
  tile_kind kind = tile_kind::directory;
  // The directory, or the one whose own files the tile shows.
  const directory_node* node = nullptr;
  byte_total bytes;
  size_t others = 0;  // how many tiles the tile of others stands for
  tone colour = tone::directory;
  // Compared with an earlier report: where the directory stood then, and
  // what its bytes changed by, where that is known.
  earlier_entry then;
  bool compared = false;
  bool change_known = false;
  byte_change change;
  tile_box box;
};

// Largest first; equal ones the directories by name, then the files, then
// the others.
map_tile tile_of(tile_kind kind, const directory_node* node, const byte_total& bytes, tone colour) {
  map_tile tile;
  tile.kind = kind;
  tile.node = node;
  tile.bytes = bytes;
  tile.colour = colour;
  return tile;
}

bool drawn_before(const map_tile& a, const map_tile& b) {
  if (a.bytes != b.bytes) return a.bytes > b.bytes;
  if (a.kind != b.kind) return a.kind < b.kind;
  return std::string_view(a.node->name) < std::string_view(b.node->name);
}

tone tone_of_change(const map_tile& tile) {
  if (tile.then.is == earlier_entry::kind::added) return tone::added;
  if (!tile.change_known) return tone::unknown;
  const byte_change& change = tile.change;
  if (change.magnitude == byte_total()) return tone::same;
  // Measured against the larger side: what it has now, or had then.
  const byte_total larger = change.negative ? tile.bytes + change.magnitude : tile.bytes;
  const bool much = share_in_tenths_of_a_percent(change.magnitude, larger) >= kMuchChange;
  if (change.negative) return much ? tone::shrunk_much : tone::shrunk;
  return much ? tone::grown_much : tone::grown;
}

// What a level of the map is drawn from: the subdirectories of a directory
// and the directory's own files.
class level_source {
 public:
  level_source(const report_context& context, const directory_node& node, earlier_entry then)
      : context_(context), node_(node), then_(then) {}

  std::vector<map_tile> tiles(const std::vector<const directory_node*>& children, tone depth) const {
    std::vector<map_tile> tiles;
    tiles.reserve(children.size() + 1);
    const old_summary* old = context_.earlier;
    if (old == nullptr) {
      for (const directory_node* child : children)
        tiles.push_back(tile_of(tile_kind::directory, child, child->total_size(), depth));
      tiles.push_back(tile_of(tile_kind::files, &node_, node_.size, tone::files));
      return tiles;
    }
    earlier_subdirectories earlier(*old, then_, node_);
    for (const directory_node* child : children) {
      map_tile tile = tile_of(tile_kind::directory, child, child->total_size(), depth);
      tile.then = earlier.find(child->name);
      const totals_change change = change_since(*old, tile.then, *child);
      compare(tile, change.knows(kBytes), change.of[kBytes]);
      tiles.push_back(tile);
    }
    // The files here compare where the whole directory does.
    map_tile files = tile_of(tile_kind::files, &node_, node_.size, tone::files);
    files.then = then_;
    const bool known = then_.is == earlier_entry::kind::present && change_since(*old, then_, node_).knows(kBytes);
    compare(files, known,
            known ? byte_change::between(old->figures(then_.line).own[kBytes], node_.size) : byte_change());
    tiles.push_back(files);
    return tiles;
  }

 private:
  static void compare(map_tile& tile, bool known, const byte_change& change) {
    tile.compared = true;
    tile.change_known = known;
    tile.change = change;
    tile.colour = tone_of_change(tile);
  }

  const report_context& context_;
  const directory_node& node_;
  earlier_entry then_;
};

std::vector<uint64_t> weights_of(const std::vector<map_tile>& tiles) {
  std::vector<byte_total> sizes;
  sizes.reserve(tiles.size());
  for (const map_tile& tile : tiles) sizes.push_back(tile.bytes);
  return layout_weights(sizes);
}

void merge_into(map_tile& others, const map_tile& tile) {
  others.bytes += tile.bytes;
  others.others += tile.kind == tile_kind::others ? tile.others : 1;
}

// The tiles of a level in the area, largest first; those that would be
// less than kSmallestSide on a side are merged into one tile of others,
// which is placed among them by its size.
std::vector<map_tile> lay_out(std::vector<map_tile> tiles, const tile_box& area, bool compared) {
  std::erase_if(tiles, [](const map_tile& tile) { return tile.bytes == byte_total(); });
  std::sort(tiles.begin(), tiles.end(), drawn_before);
  map_tile others = tile_of(tile_kind::others, nullptr, byte_total(), compared ? tone::unknown : tone::others);
  others.compared = compared;
  // A tile of less than the square of the smallest side cannot be that
  // wide both ways: those at the small end go at once.
  const std::vector<uint64_t> weights = weights_of(tiles);
  uint64_t sum = 0;
  for (const uint64_t weight : weights) sum += weight;
  const auto room = static_cast<uint64_t>(area.width) * static_cast<uint64_t>(area.height);
  size_t kept = tiles.size();
  while (kept > 0 && weights[kept - 1] * room < uint64_t{kSmallestSide * kSmallestSide} * sum) --kept;
  for (size_t at = kept; at < tiles.size(); ++at) merge_into(others, tiles[at]);
  tiles.resize(kept);
  std::vector<map_tile> placed;
  for (int round = 0; round < kMergeRounds; ++round) {
    placed = tiles;
    if (others.others > 0) {
      placed.insert(std::upper_bound(placed.begin(), placed.end(), others, drawn_before), others);
    }
    const std::vector<tile_box> boxes = squarify(weights_of(placed), area);
    for (size_t at = 0; at < placed.size(); ++at) placed[at].box = boxes[at];
    const auto thin = [](const map_tile& tile) {
      return tile.kind != tile_kind::others && (tile.box.width < kSmallestSide || tile.box.height < kSmallestSide);
    };
    if (std::none_of(placed.begin(), placed.end(), thin)) break;
    tiles.clear();
    for (const map_tile& tile : placed) {
      if (tile.kind == tile_kind::others) continue;
      if (thin(tile)) {
        merge_into(others, tile);
      } else {
        tiles.push_back(tile);
      }
    }
  }
  return placed;
}

class map_drawing {
 public:
  map_drawing(std::string& svg, const report_context& context) : svg_(svg), context_(context) {
    const figure& bytes = kFigures[kBytes];
    link_key_ = shown(context.options, bytes) && offered(context.options, bytes) ? bytes.page_key : kNamePageKey;
  }

  void draw_level(const directory_node& node, earlier_entry then, const tile_box& area, int depth) {
    const level_source source(context_, node, then);
    const std::vector<map_tile> tiles =
        lay_out(source.tiles(children_of(node, depth), depth == 1 ? tone::directory : tone::nested), area,
                context_.earlier != nullptr);
    for (const map_tile& tile : tiles) {
      // What rounds to no room at all is not drawn.
      if (tile.box.width == 0 || tile.box.height == 0) continue;
      const bool nests = depth == 1 && tile.kind == tile_kind::directory && tile.node->currentsubdirs() > 0 &&
                         tile.box.width >= 2 * kInset + 2 * kSmallestSide &&
                         tile.box.height >= kBandHeight + kInset + 2 * kSmallestSide;
      draw_tile(tile);
      if (nests) {
        const tile_box inner{tile.box.x + kInset, tile.box.y + kBandHeight, tile.box.width - 2 * kInset,
                             tile.box.height - kBandHeight - kInset};
        draw_level(*tile.node, tile.then, inner, depth + 1);
      }
    }
    if (depth == 1 && tiles.empty()) {
      svg_ += "<rect x=\"0\" y=\"0\" width=\"";
      append_decimal(svg_, kMapWidth);
      svg_ += "\" height=\"";
      append_decimal(svg_, kMapHeight);
      svg_ += "\" fill=\"#f0f0f0\"/><text x=\"10\" y=\"20\">keine Bytes</text>\r\n";
    }
  }

  void draw_key() {
    svg_ += "<text x=\"4\" y=\"";
    append_decimal(svg_, kMapHeight + 16);
    svg_ += "\">Bytes seit ";
    const std::string_view begun = context_.earlier->header().begun;
    const size_t shown = 12 + append_xml_escaped(svg_, begun);
    svg_ += ":</text>\r\n";
    auto x = static_cast<int32_t>(4 + shown * kCharacterWidth + 10);
    for (const tone t :
         {tone::grown_much, tone::grown, tone::shrunk, tone::shrunk_much, tone::same, tone::added, tone::unknown}) {
      const tone_style& style = style_of(t);
      append_rect({x, kMapHeight + 6, 12, 12}, style.fill, "#000000");
      text_at(x + 16, kMapHeight + 16);
      svg_ += style.label;
      svg_ += "</text>\r\n";
      x += 16 + static_cast<int32_t>(style.label_shown) * kCharacterWidth + 14;
    }
  }

 private:
  // The subdirectories of the directory, read under its lock where its own
  // writer may be sorting them; any order will do, the tiles are sorted.
  std::vector<const directory_node*> children_of(const directory_node& node, int depth) const {
    std::unique_lock<std::mutex> held;
    if (depth > 1 && context_.locks != nullptr) held = std::unique_lock<std::mutex>(context_.locks->of(node));
    return {node.subdirpointer, node.subdirpointer + node.currentsubdirs()};
  }

  void append_rect(const tile_box& box, std::string_view fill, std::string_view stroke) {
    svg_ += "<rect x=\"";
    append_decimal(svg_, box.x);
    svg_ += "\" y=\"";
    append_decimal(svg_, box.y);
    svg_ += "\" width=\"";
    append_decimal(svg_, box.width);
    svg_ += "\" height=\"";
    append_decimal(svg_, box.height);
    svg_ += "\" fill=\"";
    svg_ += fill;
    svg_ += "\" stroke=\"";
    svg_ += stroke;
    svg_ += "\"/>";
  }

  void text_at(int32_t x, int32_t y) {
    svg_ += "<text x=\"";
    append_decimal(svg_, x);
    svg_ += "\" y=\"";
    append_decimal(svg_, y);
    svg_ += "\">";
  }

  // The name, escaped, in `label_`; how many characters it shows.
  size_t label_of(const map_tile& tile) {
    label_.clear();
    switch (tile.kind) {
      case tile_kind::directory: return append_xml_escaped(label_, tile.node->name);
      case tile_kind::files: label_ = "Dateien"; return 7;
      case tile_kind::others: label_ = "&#252;brige"; return 6;
    }
    return 0;
  }

  void append_tooltip(const map_tile& tile) {
    svg_ += "<title>";
    switch (tile.kind) {
      case tile_kind::directory: append_xml_escaped(svg_, tile.node->name); break;
      case tile_kind::files:
        svg_ += "Dateien in ";
        append_xml_escaped(svg_, tile.node->name);
        break;
      case tile_kind::others:
        svg_ += "&#252;brige (";
        append_decimal(svg_, static_cast<int64_t>(tile.others));
        svg_ += ")";
        break;
    }
    svg_ += "&#10;";
    svg_ += dotted(tile.bytes);
    svg_ += " Bytes";
    // A figure that is a lower bound says so, as its row does.
    const uint8_t gaps = tile.kind == tile_kind::directory ? tile.node->gaps : 0;
    if ((gaps & kGapUnread) != 0) svg_ += " (nicht lesbar)";
    if ((gaps & kGapNotEntered) != 0) svg_ += " (nicht betreten)";
    if ((gaps & kGapBelow) != 0) svg_ += " (darunter unvollst&#228;ndig)";
    if (tile.compared) {
      if (tile.then.is == earlier_entry::kind::added) {
        svg_ += "&#10;neu";
      } else if (tile.change_known) {
        svg_ += "&#10;&#196;nderung: ";
        svg_ += dotted_change(tile.change);
      } else if (tile.kind != tile_kind::others) {
        svg_ += "&#10;&#196;nderung unbekannt";
      }
    }
    svg_ += "</title>";
  }

  void draw_tile(const map_tile& tile) {
    const bool linked = tile.kind == tile_kind::directory && tile.node->currentsubdirs() > 0;
    if (linked) {
      svg_ += "<a xlink:href=\"";
      append_page_name(svg_, tile.node, link_key_);
      svg_ += "\" target=\"_top\">";
    }
    svg_ += "<g>";
    append_tooltip(tile);
    append_rect(tile.box, style_of(tile.colour).fill, "#ffffff");
    const size_t shown = label_of(tile);
    if (tile.box.height >= kLineHeight &&
        static_cast<int64_t>(shown) * kCharacterWidth + 6 <= static_cast<int64_t>(tile.box.width)) {
      text_at(tile.box.x + 3, tile.box.y + 12);
      svg_ += label_;
      svg_ += "</text>";
    }
    svg_ += "</g>";
    if (linked) svg_ += "</a>";
    svg_ += "\r\n";
  }

  std::string& svg_;
  const report_context& context_;
  std::string_view link_key_;
  std::string label_;
};

int32_t canvas_height(const report_context& context) {
  return context.earlier != nullptr ? kMapHeight + kKeyHeight : kMapHeight;
}

}  // namespace

void append_treemap_object(std::string& page, const report_context& context, const directory_node& node) {
  page += "<div class=\"treemap\"><object data=\"";
  append_picture_name(page, &node);
  page += "\" type=\"image/svg+xml\" width=\"";
  append_decimal(page, kMapWidth);
  page += "\" height=\"";
  append_decimal(page, canvas_height(context));
  page += "\">Baumkarte (SVG)</object></div>\r\n";
}

void draw_treemap(std::string& svg, const report_context& context, const directory_node& node) {
  const int32_t height = canvas_height(context);
  svg.clear();
  svg +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" "
      "width=\"";
  append_decimal(svg, kMapWidth);
  svg += "\" height=\"";
  append_decimal(svg, height);
  svg += "\" viewBox=\"0 0 ";
  append_decimal(svg, kMapWidth);
  svg += " ";
  append_decimal(svg, height);
  svg += "\" font-family=\"monospace\" font-size=\"11\">\r\n<title>Quern - ";
  append_xml_escaped(svg, node_path(&node));
  svg += "</title>\r\n";
  map_drawing drawing(svg, context);
  const earlier_entry then = context.earlier != nullptr ? find_earlier(*context.earlier, node) : earlier_entry();
  drawing.draw_level(node, then, {0, 0, kMapWidth, kMapHeight}, 1);
  if (context.earlier != nullptr) drawing.draw_key();
  svg += "</svg>\r\n";
}

}  // namespace quern
