#pragma once
// Text measuring and drawing for the canvas: fonts matched through fontconfig, rendered with
// FreeType (grey-scale anti-aliasing, light hinting), faces and glyph bitmaps cached for the life
// of the process. Callable from any thread (one lock inside).
//
// A TFont's Height > 0 is the text cell's height in pixels (the font's ascender to descender
// scaled to it); Height < 0 is the em (nominal) height. Height 0 means the default, -11.
#include <cstdint>
#include <string>
#include <string_view>

#include "Graphics.h"

namespace FontEngine {

struct Metrics {
  int32_t cellHeight = 0;  // height of a text line's cell, pixels
  int32_t ascent = 0;      // cell top to baseline, pixels
  int32_t emPixels = 0;    // the size the glyphs are rendered at (FreeType's y_ppem)
  std::string file;        // the font file fontconfig chose; empty when no font is available
  int faceIndex = 0;
};

Metrics Measure(const TFont& font);
// Measure(font).cellHeight without copying the rest.
int32_t CellHeight(const TFont& font);
// Sum of the glyph advances of the UTF-8 `text`.
int32_t TextWidth(const TFont& font, std::string_view text);
// Blends the glyphs of `text` in `pixel` (0x00RRGGBB) into `target` with the text cell's top-left
// at (x, y), touching only pixels inside `clip` (framebuffer coordinates, already within the
// framebuffer). Underline and strike-out are drawn as part of the text. Returns the advance width.
int32_t DrawText(const TFont& font, Framebuffer& target, const TRect& clip, int32_t x, int32_t y,
                 std::string_view text, uint32_t pixel);

}  // namespace FontEngine
