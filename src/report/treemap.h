#pragma once

#include <cstdint>
#include <string>

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Every treemap is drawn on a canvas of this many units; where its tiles
// are coloured by their change since an earlier report, a key of the
// colours lies below it.
inline constexpr int32_t kMapWidth = 960;
inline constexpr int32_t kMapHeight = 600;
inline constexpr int32_t kKeyHeight = 24;

// Appends what embeds the directory's treemap in a page: an object, so
// that the map's links and tooltips work.
void append_treemap_object(std::string& page, const report_context& context, const directory_node& node);

// Draws the directory's treemap as an SVG document: a tile per
// subdirectory sized by its bytes, with the tiles of its own subdirectories
// nested in it where it has pages, and a tile for the files directly in the
// directory; tiles too small to see on a level are merged into one tile of
// the others. Tiles of directories with pages link to their pages sorted by
// bytes, or by name where those are not written. Coloured by depth, or by
// the change of bytes where the report compares. The same tree gives the
// same bytes, whatever the order of the subdirectories.
void draw_treemap(std::string& svg, const report_context& context, const directory_node& node);

}  // namespace quern
