#include "Graphics.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "FontEngine.h"

namespace {

// 0x00RRGGBB of the 21 system colours, by index: a light, neutral desktop scheme.
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8,  // clScrollBar
    0x000000,  // clBackground
    0x99B4D1,  // clActiveCaption
    0xBFCDDB,  // clInactiveCaption
    0xF0F0F0,  // clMenu
    0xFFFFFF,  // clWindow
    0x646464,  // clWindowFrame
    0x000000,  // clMenuText
    0x000000,  // clWindowText
    0x000000,  // clCaptionText
    0xB4B4B4,  // clActiveBorder
    0xF4F7FC,  // clInactiveBorder
    0xABABAB,  // clAppWorkSpace
    0x0078D7,  // clHighlight
    0xFFFFFF,  // clHighlightText
    0xF0F0F0,  // clBtnFace
    0xA0A0A0,  // clBtnShadow
    0x6D6D6D,  // clGrayText
    0x000000,  // clBtnText
    0x000000,  // clInactiveCaptionText
    0xFFFFFF,  // clBtnHighlight
};
constexpr int kSystemColorCount = sizeof(kSystemColors) / sizeof(kSystemColors[0]);

uint32_t SwapRedBlue(uint32_t v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }

TTypeInfo MakeColorType() {
  TTypeInfo t;
  t.Kind = tkInteger;
  t.Name = "TColor";
  t.Idents = {
      {"clBlack", clBlack},
      {"clMaroon", clMaroon},
      {"clGreen", clGreen},
      {"clOlive", clOlive},
      {"clNavy", clNavy},
      {"clPurple", clPurple},
      {"clTeal", clTeal},
      {"clGray", clGray},
      {"clSilver", clSilver},
      {"clRed", clRed},
      {"clLime", clLime},
      {"clYellow", clYellow},
      {"clBlue", clBlue},
      {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},
      {"clWhite", clWhite},
      {"clScrollBar", clScrollBar},
      {"clBackground", clBackground},
      {"clActiveCaption", clActiveCaption},
      {"clInactiveCaption", clInactiveCaption},
      {"clMenu", clMenu},
      {"clWindow", clWindow},
      {"clWindowFrame", clWindowFrame},
      {"clMenuText", clMenuText},
      {"clWindowText", clWindowText},
      {"clCaptionText", clCaptionText},
      {"clActiveBorder", clActiveBorder},
      {"clInactiveBorder", clInactiveBorder},
      {"clAppWorkSpace", clAppWorkSpace},
      {"clHighlight", clHighlight},
      {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace},
      {"clBtnShadow", clBtnShadow},
      {"clGrayText", clGrayText},
      {"clBtnText", clBtnText},
      {"clInactiveCaptionText", clInactiveCaptionText},
      {"clBtnHighlight", clBtnHighlight},
  };
  // Unnamed colours as 8 hex digits after '$' (StrToInt reads that back, system bit included).
  t.FormatValue = [](int64_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(static_cast<uint32_t>(value)));
    return std::string(text);
  };
  return t;
}

const TTypeInfo TypeFontStyle =
    EnumType("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  if (r.Left >= r.Right || r.Top >= r.Bottom) return TRect{};
  return r;
}

bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

TRect Union(const TRect& a, const TRect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
               std::max(a.Bottom, b.Bottom)};
}

}  // namespace

const TTypeInfo TypeColor = MakeColorType();
const TTypeInfo TypeFontCharset = IntegerType("TFontCharset", {{"ANSI_CHARSET", ANSI_CHARSET},
                                                                {"DEFAULT_CHARSET", DEFAULT_CHARSET},
                                                                {"SYMBOL_CHARSET", SYMBOL_CHARSET},
                                                                {"OEM_CHARSET", OEM_CHARSET}});
const TTypeInfo TypeFontStyles = SetType("TFontStyles", TypeFontStyle);

TColor ColorToRGB(TColor color) {
  if (color & clSystemColor) {
    int index = color & 0xFF;
    return index < kSystemColorCount ? static_cast<TColor>(SwapRedBlue(kSystemColors[index])) : 0;
  }
  return color & 0x00FFFFFF;
}

uint32_t ColorToPixel(TColor color) {
  if (color & clSystemColor) {
    int index = color & 0xFF;
    return index < kSystemColorCount ? kSystemColors[index] : 0;
  }
  return SwapRedBlue(static_cast<uint32_t>(color) & 0x00FFFFFF);
}

// ---- Pen, brush, font ----

const TClassInfo& TPen::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TPen>("TPen", &TPersistent::StaticClass())
          .Factory()
          .Ordinal(
              "Color", TypeColor, [](const TPen& p) { return p.Color; },
              [](TPen& p, int64_t v) { p.Color = static_cast<TColor>(v); })
          .Build();
  return info;
}

const TClassInfo& TBrush::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TBrush>("TBrush", &TPersistent::StaticClass())
          .Factory()
          .Ordinal(
              "Color", TypeColor, [](const TBrush& b) { return b.Color; },
              [](TBrush& b, int64_t v) { b.Color = static_cast<TColor>(v); })
          .Build();
  return info;
}

const TClassInfo& TFont::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TFont>("TFont", &TPersistent::StaticClass())
          .Factory()
          .Ordinal(
              "Charset", TypeFontCharset, [](const TFont& f) { return f.Charset; },
              [](TFont& f, int64_t v) { f.Charset = static_cast<int32_t>(v); })
          .Ordinal(
              "Color", TypeColor, [](const TFont& f) { return f.Color; },
              [](TFont& f, int64_t v) { f.Color = static_cast<TColor>(v); })
          .Integer(
              "Height", [](const TFont& f) { return f.Height; },
              [](TFont& f, int64_t v) { f.Height = static_cast<int32_t>(v); })
          .String(
              "Name", [](const TFont& f) { return f.Name; },
              [](TFont& f, const std::string& v) { f.Name = v; })
          .Ordinal(
              "Style", TypeFontStyles, [](const TFont& f) { return f.Style.Bits(); },
              [](TFont& f, int64_t v) {
                f.Style = TFontStyles::FromBits(static_cast<uint64_t>(v));
              })
          .Build();
  return info;
}

TFont::TFont() = default;

void TFont::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TFont*>(Source)) {
    Name = other->Name;
    Height = other->Height;
    Color = other->Color;
    Charset = other->Charset;
    Style = other->Style;
    return;
  }
  TPersistent::Assign(Source);
}

// ---- Canvas ----

const TClassInfo& TCanvas::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCanvas>("TCanvas", &TPersistent::StaticClass()).Factory().Build();
  return info;
}

TCanvas::TCanvas() : FPen(new TPen), FBrush(new TBrush), FFont(new TFont) {}

TCanvas::~TCanvas() {
  delete FFont;
  delete FBrush;
  delete FPen;
}

void TCanvas::Bind(Framebuffer* target, TPoint origin, TRect clip) {
  FTarget = target;
  FOrigin = origin;
  FClip = target ? Intersect(clip, Rect(0, 0, target->width, target->height)) : TRect{};
  FOnDamage.Clear();
}

TRect TCanvas::Clip() const {
  if (!FTarget) return TRect{};
  return Intersect(FClip, Rect(0, 0, FTarget->width, FTarget->height));
}

TRect TCanvas::ClipRect() const {
  if (!FTarget || IsEmpty(FClip)) return TRect{};
  return Rect(FClip.Left - FOrigin.x, FClip.Top - FOrigin.y, FClip.Right - FOrigin.x,
              FClip.Bottom - FOrigin.y);
}

void TCanvas::Damaged(const TRect& area) {
  if (FOnDamage && !IsEmpty(area)) FOnDamage(area);
}

void TCanvas::FillRect(const TRect& r) {
  TRect area =
      Intersect(Rect(Clamp32(int64_t{r.Left} + FOrigin.x), Clamp32(int64_t{r.Top} + FOrigin.y),
                     Clamp32(int64_t{r.Right} + FOrigin.x), Clamp32(int64_t{r.Bottom} + FOrigin.y)),
                Clip());
  if (IsEmpty(area)) return;
  const uint32_t pixel = ColorToPixel(FBrush->Color);
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    uint32_t* row = &FTarget->pixels[static_cast<size_t>(y) * FTarget->width];
    std::fill(row + area.Left, row + area.Right, pixel);
  }
  Damaged(area);
}

void TCanvas::MoveTo(int32_t x, int32_t y) { FPenPos = TPoint{x, y}; }

void TCanvas::DrawLine(TPoint from, TPoint to, uint32_t pixel, const TRect& clip, TRect* drawn) {
  // Pixel k (0 <= k < steps) lies at k steps along the major axis and at k * minor / steps along
  // the minor one, rounded half away from the start: the Bresenham line. Only the steps whose major
  // coordinate is inside the clip are visited, so far-off end points cost nothing.
  const int64_t x0 = int64_t{from.x} + FOrigin.x, y0 = int64_t{from.y} + FOrigin.y;
  const int64_t dx = int64_t{to.x} - from.x, dy = int64_t{to.y} - from.y;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t steps = std::max(adx, ady);
  if (steps == 0 || IsEmpty(clip)) return;
  const bool xMajor = adx >= ady;
  const int64_t m0 = xMajor ? x0 : y0, n0 = xMajor ? y0 : x0;
  const int64_t sm = (xMajor ? dx : dy) < 0 ? -1 : 1, sn = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t minor = xMajor ? ady : adx;
  const int64_t lo = xMajor ? clip.Left : clip.Top, hi = (xMajor ? clip.Right : clip.Bottom) - 1;
  const int64_t nlo = xMajor ? clip.Top : clip.Left, nhi = (xMajor ? clip.Bottom : clip.Right) - 1;
  int64_t kFirst = sm > 0 ? lo - m0 : m0 - hi;
  int64_t kLast = sm > 0 ? hi - m0 : m0 - lo;
  kFirst = std::max<int64_t>(kFirst, 0);
  kLast = std::min(kLast, steps - 1);
  if (kFirst > kLast) return;
  // minor offset of step k = floor((2 k minor + steps) / (2 steps)); kept as quotient/remainder.
  const int64_t den = 2 * steps;
  __int128 num = static_cast<__int128>(2) * kFirst * minor + steps;
  int64_t q = static_cast<int64_t>(num / den);
  int64_t rem = static_cast<int64_t>(num % den);
  // The line is monotonic in both axes, so the first and last pixels drawn span all of them.
  bool any = false;
  int32_t firstX = 0, firstY = 0, lastX = 0, lastY = 0;
  uint32_t* const pixels = FTarget->pixels.data();
  const size_t stride = static_cast<size_t>(FTarget->width);
  for (int64_t k = kFirst; k <= kLast; ++k) {
    const int64_t m = m0 + sm * k, n = n0 + sn * q;
    if (n >= nlo && n <= nhi) {
      lastX = static_cast<int32_t>(xMajor ? m : n);
      lastY = static_cast<int32_t>(xMajor ? n : m);
      pixels[static_cast<size_t>(lastY) * stride + lastX] = pixel;
      if (!any) firstX = lastX, firstY = lastY, any = true;
    }
    rem += 2 * minor;
    if (rem >= den) {
      rem -= den;
      ++q;
    }
  }
  if (any)
    *drawn = Union(*drawn, Rect(std::min(firstX, lastX), std::min(firstY, lastY),
                                std::max(firstX, lastX) + 1, std::max(firstY, lastY) + 1));
}

void TCanvas::LineTo(int32_t x, int32_t y) {
  TPoint from = FPenPos;
  FPenPos = TPoint{x, y};
  if (!FTarget) return;
  TRect drawn;
  DrawLine(from, FPenPos, ColorToPixel(FPen->Color), Clip(), &drawn);
  Damaged(drawn);
}

void TCanvas::Polyline(const TPoint* points, int32_t count) {
  if (!points || count <= 0) return;
  FPenPos = points[0];
  if (!FTarget) {
    FPenPos = points[count - 1];
    return;
  }
  const TRect clip = Clip();
  const uint32_t pixel = ColorToPixel(FPen->Color);
  TRect drawn;
  for (int32_t i = 1; i < count; ++i) {
    DrawLine(FPenPos, points[i], pixel, clip, &drawn);
    FPenPos = points[i];
  }
  Damaged(drawn);
}

void TCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
  const int64_t fx = int64_t{x} + FOrigin.x, fy = int64_t{y} + FOrigin.y;
  const TRect clip = Clip();
  if (fx < clip.Left || fx >= clip.Right || fy < clip.Top || fy >= clip.Bottom) return;
  FTarget->pixels[static_cast<size_t>(fy) * FTarget->width + fx] = ColorToPixel(color);
  Damaged(Rect(static_cast<int32_t>(fx), static_cast<int32_t>(fy), static_cast<int32_t>(fx) + 1,
               static_cast<int32_t>(fy) + 1));
}

TColor TCanvas::GetPixel(int32_t x, int32_t y) const {
  if (!FTarget) return -1;
  const int64_t fx = int64_t{x} + FOrigin.x, fy = int64_t{y} + FOrigin.y;
  if (fx < 0 || fy < 0 || fx >= FTarget->width || fy >= FTarget->height) return -1;
  return static_cast<TColor>(
      SwapRedBlue(FTarget->pixels[static_cast<size_t>(fy) * FTarget->width + fx]));
}

void TCanvas::TextOut(int32_t x, int32_t y, const std::string& text) {
  if (!FTarget) return;
  const int32_t width = FontEngine::TextWidth(*FFont, text);
  const int32_t height = FontEngine::CellHeight(*FFont);
  const int32_t fx = Clamp32(int64_t{x} + FOrigin.x), fy = Clamp32(int64_t{y} + FOrigin.y);
  TRect cell =
      Intersect(Rect(fx, fy, Clamp32(int64_t{fx} + width), Clamp32(int64_t{fy} + height)), Clip());
  if (IsEmpty(cell)) return;
  const uint32_t background = ColorToPixel(FBrush->Color);
  for (int32_t row = cell.Top; row < cell.Bottom; ++row) {
    uint32_t* line = &FTarget->pixels[static_cast<size_t>(row) * FTarget->width];
    std::fill(line + cell.Left, line + cell.Right, background);
  }
  // Glyphs stay inside their cell, so the cell is all a text call changes.
  FontEngine::DrawText(*FFont, *FTarget, cell, fx, fy, text, ColorToPixel(FFont->Color));
  Damaged(cell);
}

int32_t TCanvas::TextWidth(const std::string& text) { return FontEngine::TextWidth(*FFont, text); }

int32_t TCanvas::TextHeight(const std::string&) { return FontEngine::CellHeight(*FFont); }
