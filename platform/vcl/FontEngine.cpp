#include "FontEngine.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "SysUtils.h"

namespace {

constexpr int32_t kDefaultHeight = -11;
constexpr int32_t kMaxPixels = 2048;  // larger requests are clamped (glyph bitmaps stay bounded)

struct Glyph {
  int32_t left = 0;  // pen position to the bitmap's left edge
  int32_t top = 0;   // baseline to the bitmap's top row (upwards positive)
  int32_t width = 0, rows = 0;
  int32_t advance = 0;  // whole pixels
  std::vector<uint8_t> coverage;
};

// Where fontconfig found a family in a style.
struct FontFile {
  std::string path;
  int index = 0;
  bool bold = false;    // the file itself is bold (else bold is synthesised)
  bool italic = false;  // the file itself slants (else slanting is synthesised)
};

// One font at one size and style: a FreeType face of its own plus its glyphs.
class Face {
 public:
  Face(FT_Library library, const FontFile& file, int32_t height, TFontStyles style)
      : FStyle(style) {
    int32_t h = std::clamp(height == 0 ? kDefaultHeight : height, -kMaxPixels, kMaxPixels);
    FMetrics.file = file.path;
    FMetrics.faceIndex = file.index;
    FEmbolden = style.Contains(fsBold) && !file.bold;
    FSlant = style.Contains(fsItalic) && !file.italic;
    if (!file.path.empty() && FT_New_Face(library, file.path.c_str(), file.index, &FFace) != 0)
      FFace = nullptr;
    if (FFace && FT_IS_SCALABLE(FFace)) {
      FT_Size_RequestRec request{};
      // Positive: the cell (ascender - descender) is h pixels; negative: the em is -h pixels.
      request.type = h > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
      request.height = static_cast<FT_Long>(h > 0 ? h : -h) * 64;
      if (FT_Request_Size(FFace, &request) != 0) {
        FT_Done_Face(FFace);
        FFace = nullptr;
      }
    } else if (FFace) {
      FT_Select_Size(FFace, 0);  // a bitmap font: its first strike
    }
    if (FFace) {
      FT_Fixed scale = FFace->size->metrics.y_scale;
      auto pixels = [](FT_Long v26_6) { return static_cast<int32_t>((v26_6 + 32) >> 6); };
      FMetrics.emPixels = FFace->size->metrics.y_ppem;
      if (FT_IS_SCALABLE(FFace)) {
        FMetrics.ascent = pixels(FT_MulFix(FFace->ascender, scale));
        FMetrics.cellHeight =
            h > 0 ? h : pixels(FT_MulFix(FFace->ascender - FFace->descender, scale));
        FUnderlinePos = pixels(FT_MulFix(-FFace->underline_position, scale));
        FLineThickness = std::max(1, pixels(FT_MulFix(FFace->underline_thickness, scale)));
      } else {
        FMetrics.ascent = pixels(FFace->size->metrics.ascender);
        FMetrics.cellHeight =
            pixels(FFace->size->metrics.ascender - FFace->size->metrics.descender);
        FUnderlinePos = 1;
      }
    } else {
      // No usable font: text still occupies its cell and advances, it just shows no glyphs.
      FMetrics.emPixels = h > 0 ? h * 5 / 6 : -h;
      FMetrics.cellHeight = h > 0 ? h : (-h * 6 + 2) / 5;
      FMetrics.ascent = FMetrics.cellHeight * 4 / 5;
      FUnderlinePos = 1;
    }
    FStrikePos = std::max(1, FMetrics.emPixels * 3 / 10);
  }

  ~Face() {
    if (FFace) FT_Done_Face(FFace);
  }
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;

  const FontEngine::Metrics& Metrics() const { return FMetrics; }

  const Glyph& GlyphOf(char32_t code) {
    if (code < FAscii.size()) {
      if (!FAscii[code]) FAscii[code] = Render(code);
      return *FAscii[code];
    }
    auto it = FOthers.find(code);
    if (it == FOthers.end()) it = FOthers.emplace(code, Render(code)).first;
    return it->second;
  }

  int32_t Width(std::string_view text) {
    int32_t width = 0;
    for (size_t i = 0; i < text.size();) width += GlyphOf(NextCodePoint(text, &i)).advance;
    return width;
  }

  int32_t Draw(Framebuffer& target, const TRect& clip, int32_t x, int32_t y, std::string_view text,
               uint32_t pixel) {
    const int32_t baseline = y + FMetrics.ascent;
    int32_t pen = x;
    for (size_t i = 0; i < text.size();) {
      const Glyph& g = GlyphOf(NextCodePoint(text, &i));
      Blend(target, clip, pen + g.left, baseline - g.top, g, pixel);
      pen += g.advance;
    }
    if (FStyle.Contains(fsUnderline)) Bar(target, clip, x, pen, baseline + FUnderlinePos, pixel);
    if (FStyle.Contains(fsStrikeOut)) Bar(target, clip, x, pen, baseline - FStrikePos, pixel);
    return pen - x;
  }

  // Decodes one UTF-8 sequence at *i and moves past it; a malformed byte reads as U+FFFD.
  static char32_t NextCodePoint(std::string_view s, size_t* i) {
    const auto lead = static_cast<unsigned char>(s[*i]);
    int extra;
    char32_t code;
    if (lead < 0x80) {
      ++*i;
      return lead;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      extra = 1, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      extra = 2, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      extra = 3, code = lead & 0x07;
    } else {
      ++*i;
      return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
      if (*i + k >= s.size() || (static_cast<unsigned char>(s[*i + k]) & 0xC0) != 0x80) {
        ++*i;
        return 0xFFFD;
      }
      code = (code << 6) | (static_cast<unsigned char>(s[*i + k]) & 0x3F);
    }
    *i += extra + 1;
    return code;
  }

 private:
  Glyph Render(char32_t code) {
    Glyph g;
    if (!FFace) {
      g.advance = std::max(1, FMetrics.emPixels / 2);
      return g;
    }
    if (FT_Load_Char(FFace, code, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0) return g;
    FT_GlyphSlot slot = FFace->glyph;
    if (FEmbolden) FT_GlyphSlot_Embolden(slot);
    if (FSlant) FT_GlyphSlot_Oblique(slot);
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0)
      return g;
    g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int32_t>(bm.width);
    g.rows = static_cast<int32_t>(bm.rows);
    g.coverage.assign(static_cast<size_t>(g.width) * g.rows, 0);
    for (int32_t r = 0; r < g.rows; ++r) {
      const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
      for (int32_t c = 0; c < g.width; ++c) {
        uint8_t v;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
          v = (row[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
        else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.num_grays != 256)
          v = static_cast<uint8_t>(row[c] * 255 / std::max(1, bm.num_grays - 1));
        else
          v = row[c];
        g.coverage[static_cast<size_t>(r) * g.width + c] = v;
      }
    }
    return g;
  }

  static uint32_t Mix(uint32_t dst, uint32_t src, uint32_t a) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      uint32_t d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
      uint32_t v = (d * (255 - a) + s * a + 127) / 255;
      out |= v << shift;
    }
    return out;
  }

  static void Blend(Framebuffer& target, const TRect& clip, int32_t x0, int32_t y0, const Glyph& g,
                    uint32_t pixel) {
    int32_t left = std::max(x0, clip.Left), right = std::min(x0 + g.width, clip.Right);
    int32_t top = std::max(y0, clip.Top), bottom = std::min(y0 + g.rows, clip.Bottom);
    for (int32_t y = top; y < bottom; ++y) {
      const uint8_t* src = &g.coverage[static_cast<size_t>(y - y0) * g.width];
      uint32_t* dst = &target.pixels[static_cast<size_t>(y) * target.width];
      for (int32_t x = left; x < right; ++x) {
        uint32_t a = src[x - x0];
        if (a == 255)
          dst[x] = pixel;
        else if (a)
          dst[x] = Mix(dst[x], pixel, a);
      }
    }
  }

  void Bar(Framebuffer& target, const TRect& clip, int32_t x0, int32_t x1, int32_t y0,
           uint32_t pixel) const {
    int32_t left = std::max(x0, clip.Left), right = std::min(x1, clip.Right);
    int32_t top = std::max(y0, clip.Top), bottom = std::min(y0 + FLineThickness, clip.Bottom);
    for (int32_t y = top; y < bottom; ++y)
      std::fill(&target.pixels[static_cast<size_t>(y) * target.width + left],
                &target.pixels[static_cast<size_t>(y) * target.width + std::max(left, right)],
                pixel);
  }

  FT_Face FFace = nullptr;
  TFontStyles FStyle;
  bool FEmbolden = false, FSlant = false;
  FontEngine::Metrics FMetrics;
  int32_t FUnderlinePos = 1, FStrikePos = 1, FLineThickness = 1;
  std::array<std::optional<Glyph>, 128> FAscii;
  std::unordered_map<char32_t, Glyph> FOthers;
};

class Engine {
 public:
  Engine() {
    if (FT_Init_FreeType(&FLibrary) != 0) FLibrary = nullptr;
    FConfigOk = FcInit() == FcTrue;
  }

  std::mutex mutex;

  // The face for a font; the last one asked for is remembered, as a canvas draws many strings in
  // one font.
  Face& FaceFor(const TFont& font) {
    uint64_t style = font.Style.Bits();
    if (FLast && FLastHeight == font.Height && FLastStyle == style && FLastName == font.Name)
      return *FLast;
    std::string key = AnsiLowerCase(font.Name) + '\n' + std::to_string(font.Height) + '\n' +
                      std::to_string(style);
    auto it = FFaces.find(key);
    if (it == FFaces.end()) {
      FontFile file = Match(font.Name, font.Style);
      it = FFaces.emplace(key, std::make_unique<Face>(FLibrary, file, font.Height, font.Style))
               .first;
    }
    FLast = it->second.get();
    FLastName = font.Name;
    FLastHeight = font.Height;
    FLastStyle = style;
    return *FLast;
  }

 private:
  FontFile Match(const std::string& name, TFontStyles style) {
    std::string family = name;
    // The classic dialog font is the system's sans font here.
    if (family.empty() || AnsiLowerCase(family) == "ms sans serif" ||
        AnsiLowerCase(family) == "ms shell dlg" || AnsiLowerCase(family) == "ms shell dlg 2")
      family = "sans-serif";
    std::string key = AnsiLowerCase(family) + '\n' + std::to_string(style.Bits() & 3);
    auto cached = FFiles.find(key);
    if (cached != FFiles.end()) return cached->second;

    FontFile file;
    if (FLibrary && FConfigOk) {
      FcPattern* pattern = FcPatternCreate();
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pattern, FC_WEIGHT,
                          style.Contains(fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcPatternAddInteger(pattern, FC_SLANT,
                          style.Contains(fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
      FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
      FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      FcResult result = FcResultNoMatch;
      // An unknown family matches the configured default (sans-serif) family.
      FcPattern* match = FcFontMatch(nullptr, pattern, &result);
      if (match) {
        FcChar8* path = nullptr;
        int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
          file.path = reinterpret_cast<const char*>(path);
          if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) file.index = index;
          FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
          FcPatternGetInteger(match, FC_SLANT, 0, &slant);
          file.bold = weight >= FC_WEIGHT_DEMIBOLD;
          file.italic = slant != FC_SLANT_ROMAN;
        }
        FcPatternDestroy(match);
      }
      FcPatternDestroy(pattern);
    }
    FFiles.emplace(key, file);
    return file;
  }

  FT_Library FLibrary = nullptr;
  bool FConfigOk = false;
  std::map<std::string, FontFile> FFiles;
  std::map<std::string, std::unique_ptr<Face>> FFaces;
  Face* FLast = nullptr;
  std::string FLastName;
  int32_t FLastHeight = 0;
  uint64_t FLastStyle = 0;
};

// Never destroyed: canvases may draw from static destructors, and the faces' memory is the
// process's anyway.
Engine& TheEngine() {
  static Engine* engine = new Engine;
  return *engine;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// fontconfig 2.14 loses a few hundred bytes while parsing its configuration files (inside
// FcInit), once per process. It is the library's, not ours, and would fail every leak-checked
// program that draws text; this library is what loads fontconfig, so it says so here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace FontEngine {

Metrics Measure(const TFont& font) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  return e.FaceFor(font).Metrics();
}

int32_t CellHeight(const TFont& font) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  return e.FaceFor(font).Metrics().cellHeight;
}

int32_t TextWidth(const TFont& font, std::string_view text) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  return e.FaceFor(font).Width(text);
}

int32_t DrawText(const TFont& font, Framebuffer& target, const TRect& clip, int32_t x, int32_t y,
                 std::string_view text, uint32_t pixel) {
  Engine& e = TheEngine();
  std::lock_guard lock(e.mutex);
  return e.FaceFor(font).Draw(target, clip, x, y, text, pixel);
}

}  // namespace FontEngine
