#pragma once
// Colours, pens, brushes, fonts and the canvas that draws into a form's framebuffer.
//
// Drawing follows the classic conventions the views' arithmetic relies on: FillRect fills columns
// Left..Right-1 and rows Top..Bottom-1 (nothing for an empty or inverted rectangle); LineTo draws
// from the pen position to the target excluding the target pixel, then moves the pen there;
// TextOut fills its text cell with the brush colour, then draws the glyphs in the font colour.
// Coordinates are relative to the canvas origin (a control's top-left); everything is clipped to
// the canvas's clipping rectangle and to the framebuffer.
#include <cstdint>
#include <string>

#include "Classes.h"
#include "WindowSystem.h"

using TColor = int32_t;  // 0x00BBGGRR, or a system colour 0x80000000 | index

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;

// The 0x00BBGGRR value of a colour; system colours map to fixed values.
TColor ColorToRGB(TColor color);
// The framebuffer pixel (0x00RRGGBB) of a colour.
uint32_t ColorToPixel(TColor color);

// TColor as a property type: written as its name (clBlack, clWindowText) where it has one, else as
// a hexadecimal number.
extern const TTypeInfo TypeColor;

// Font charsets, written by name (DEFAULT_CHARSET) in form resources.
constexpr int32_t ANSI_CHARSET = 0;
constexpr int32_t DEFAULT_CHARSET = 1;
constexpr int32_t SYMBOL_CHARSET = 2;
constexpr int32_t OEM_CHARSET = 255;
extern const TTypeInfo TypeFontCharset;

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
extern const TTypeInfo TypeFontStyles;

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};
inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return TRect{left, top, right, bottom};
}

class TPen : public TPersistent {
  VCL_CLASS(TPen)
  TColor Color = clBlack;
};

class TBrush : public TPersistent {
  VCL_CLASS(TBrush)
  TColor Color = clWhite;
};

// Height > 0 is the text cell's height in pixels; Height < 0 is the character (em) height. The
// family is matched through fontconfig; "MS Sans Serif" and unknown names fall back to the
// system's sans font. Published: Charset, Color, Height, Name, Style.
class TFont : public TPersistent {
  VCL_CLASS(TFont)
  TFont();
  void Assign(TPersistent* Source) override;

  std::string Name = "MS Sans Serif";
  int32_t Height = -11;
  TColor Color = clWindowText;
  int32_t Charset = DEFAULT_CHARSET;
  TFontStyles Style;
};

// Draws into a framebuffer. A control's canvas is bound to its form's framebuffer with the origin
// at the control's top-left and clipped to the control (and to what is being painted).
class TCanvas : public TPersistent {
  VCL_CLASS(TCanvas)
  TCanvas();
  ~TCanvas() override;

  TPen* Pen() const { return FPen; }
  TBrush* Brush() const { return FBrush; }
  TFont* Font() const { return FFont; }

  // Binds the canvas: `origin` is where (0, 0) lies in the framebuffer, `clip` the framebuffer
  // area that may be drawn (clipped again to the framebuffer at every call, so the framebuffer may
  // be resized while bound). Null unbinds: drawing does nothing. Clears the damage handler.
  void Bind(Framebuffer* target, TPoint origin, TRect clip);
  Framebuffer* Target() const { return FTarget; }

  // Told, after each drawing call, the framebuffer area the call may have changed (within the
  // clip; nothing for a call that drew nothing). A control's canvas uses it to tell its form what
  // to present.
  using TDamageHandler = TBoundMethod<const TRect&>;
  void SetDamageHandler(TDamageHandler handler) { FOnDamage = handler; }

  // The area that may be drawn, in canvas coordinates.
  TRect ClipRect() const;

  void FillRect(const TRect& r);
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void Polyline(const TPoint* points, int32_t count);
  void SetPixel(int32_t x, int32_t y, TColor color);
  TColor GetPixel(int32_t x, int32_t y) const;  // 0x00BBGGRR; -1 outside the framebuffer
  void TextOut(int32_t x, int32_t y, const std::string& text);
  int32_t TextWidth(const std::string& text);
  int32_t TextHeight(const std::string& text);
  TPoint PenPos() const { return FPenPos; }

 private:
  TPen* FPen;
  TBrush* FBrush;
  TFont* FFont;
  Framebuffer* FTarget = nullptr;
  TPoint FOrigin;
  TRect FClip;  // framebuffer coordinates
  TPoint FPenPos;
  TDamageHandler FOnDamage;

  TRect Clip() const;  // FClip within the framebuffer as it is now
  void Damaged(const TRect& area);
  // Draws the line without its end point; widens *drawn by the pixels it set.
  void DrawLine(TPoint from, TPoint to, uint32_t pixel, const TRect& clip, TRect* drawn);
};
