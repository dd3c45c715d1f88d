#include "Controls.h"

#include <algorithm>

#include "Forms.h"

namespace {

bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
  return IsEmpty(r) ? TRect{} : r;
}

TRect Offset(const TRect& r, TPoint by) {
  return Rect(r.Left + by.x, r.Top + by.y, r.Right + by.x, r.Bottom + by.y);
}

// number * multiply / divide, rounded half away from zero.
int32_t MulDiv(int32_t number, int32_t multiply, int32_t divide) {
  if (divide == 0) return number;
  const int64_t n = int64_t{number} * multiply, d = divide;
  const int64_t an = n < 0 ? -n : n, ad = d < 0 ? -d : d;
  const int64_t q = (2 * an + ad) / (2 * ad);
  return static_cast<int32_t>((n < 0) != (d < 0) ? -q : q);
}

// The part of `control` that can be seen on its form, in form coordinates: its bounds cut to each
// parent's client area; empty when it or a parent is hidden or when it is on no form.
TRect VisibleFormRect(const TControl* control) {
  TCustomForm* form = control->Form();
  if (!form) return TRect{};
  if (control == form) return form->ClientRect();
  if (!control->Visible()) return TRect{};
  TRect r = Offset(Rect(0, 0, control->Width(), control->Height()), control->FormOrigin());
  for (const TWinControl* p = control->Parent(); p; p = p->Parent()) {
    if (p == form) return Intersect(r, form->ClientRect());
    if (!p->Visible()) return TRect{};
    r = Intersect(r, Offset(p->ClientRect(), p->FormOrigin()));
  }
  return TRect{};
}

}  // namespace

const TTypeInfo TypeAlign =
    EnumType("TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"});

// ---- TControl ----

const TClassInfo& TControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TControl>("TControl", &TComponent::StaticClass())
          .Integer(
              "Left", [](const TControl& c) { return c.Left(); },
              [](TControl& c, int64_t v) { c.SetLeft(static_cast<int32_t>(v)); })
          .Integer(
              "Top", [](const TControl& c) { return c.Top(); },
              [](TControl& c, int64_t v) { c.SetTop(static_cast<int32_t>(v)); })
          .Integer(
              "Width", [](const TControl& c) { return c.Width(); },
              [](TControl& c, int64_t v) { c.SetWidth(static_cast<int32_t>(v)); })
          .Integer(
              "Height", [](const TControl& c) { return c.Height(); },
              [](TControl& c, int64_t v) { c.SetHeight(static_cast<int32_t>(v)); })
          .Unpublished()
          .Ordinal(
              "Align", TypeAlign, [](const TControl& c) { return c.Align(); },
              [](TControl& c, int64_t v) { c.SetAlign(static_cast<TAlign>(v)); }, alNone)
          .Unpublished()
          .Ordinal(
              "Color", TypeColor, [](const TControl& c) { return c.Color(); },
              [](TControl& c, int64_t v) { c.SetColor(static_cast<TColor>(v)); })
          .Unpublished()
          .Boolean(
              "Visible", [](const TControl& c) { return c.Visible(); },
              [](TControl& c, int64_t v) { c.SetVisible(v != 0); }, true)
          .Build();
  return info;
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  // Not virtual here: the derived parts are gone already.
  if (FParent) TControl::SetParent(nullptr);
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  const bool resized = width != FWidth || height != FHeight;
  Invalidate();  // where it was
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (FParent) FParent->AlignControls();
  if (resized)
    if (auto* self = dynamic_cast<TWinControl*>(this)) self->AlignControls();
  Invalidate();  // where it is
}

void TControl::SetAlign(TAlign value) {
  if (value == FAlign) return;
  FAlign = value;
  if (FParent) FParent->AlignControls();
  Invalidate();
}

void TControl::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Invalidate();
}

void TControl::SetVisible(bool value) {
  if (value == FVisible) return;
  if (!value) Invalidate();  // uncovers what was behind it
  FVisible = value;
  if (FParent) FParent->AlignControls();
  if (value) Invalidate();
}

void TControl::SetParent(TWinControl* value) {
  if (value == FParent) return;
  for (const TControl* p = value; p; p = p->FParent)
    if (p == this) throw EInvalidOperation("Control '" + Name() + "' cannot be a parent of itself");
  if (TWinControl* old = FParent) {
    Invalidate();
    old->FControls.erase(std::remove(old->FControls.begin(), old->FControls.end(), this),
                         old->FControls.end());
    FParent = nullptr;
    old->AlignControls();
  }
  if (value) {
    value->FControls.push_back(this);
    FParent = value;
    value->AlignControls();
    Invalidate();
  }
}

void TControl::Invalidate() {
  TCustomForm* form = Form();
  if (!form || form->ComponentState().Contains(csDestroying)) return;
  TRect area = VisibleFormRect(this);
  if (!IsEmpty(area)) form->InvalidateRect(area);
}

TCustomForm* TControl::Form() const {
  for (const TControl* c = this; c; c = c->FParent)
    if (auto* form = dynamic_cast<const TCustomForm*>(c)) return const_cast<TCustomForm*>(form);
  return nullptr;
}

TPoint TControl::FormOrigin() const {
  TPoint origin;
  for (const TControl* c = this; c && !dynamic_cast<const TCustomForm*>(c); c = c->FParent) {
    origin.x += c->FLeft;
    origin.y += c->FTop;
  }
  return origin;
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetParentComponent(TComponent* value) {
  if (auto* parent = dynamic_cast<TWinControl*>(value)) SetParent(parent);
}

void TControl::ChangeScale(int32_t multiply, int32_t divide) {
  if (divide == 0 || multiply == divide) return;
  SetBounds(MulDiv(FLeft, multiply, divide), MulDiv(FTop, multiply, divide),
            MulDiv(FWidth, multiply, divide), MulDiv(FHeight, multiply, divide));
}

// ---- TGraphicControl ----

const TClassInfo& TGraphicControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TGraphicControl>("TGraphicControl", &TControl::StaticClass()).Build();
  return info;
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), FCanvas(new TCanvas) {}

TGraphicControl::~TGraphicControl() {
  delete FCanvas;
  FCanvas = nullptr;
}

void TGraphicControl::SetParent(TWinControl* value) {
  FCanvas->Bind(nullptr, TPoint{}, TRect{});
  TControl::SetParent(value);
}

TCanvas* TGraphicControl::Canvas() {
  if (FPainting) return FCanvas;
  TCustomForm* form = Form();
  if (!form) {
    FCanvas->Bind(nullptr, TPoint{}, TRect{});
    return FCanvas;
  }
  FCanvas->Bind(&form->Surface(), FormOrigin(), VisibleFormRect(this));
  // Drawn outside a paint: the form presents what changed at its next present.
  FCanvas->SetDamageHandler(MakeMethod<&TCustomForm::Damage>(form));
  return FCanvas;
}

void TGraphicControl::PaintArea(const TRect& area) {
  TCustomForm* form = Form();
  if (!form) return;
  const TRect clip = Intersect(VisibleFormRect(this), area);
  if (IsEmpty(clip)) return;
  FCanvas->Bind(&form->Surface(), FormOrigin(), clip);
  struct PaintingScope {
    bool& flag;
    explicit PaintingScope(bool& f) : flag(f) { flag = true; }
    ~PaintingScope() { flag = false; }
  } scope(FPainting);
  Paint();
}

// ---- TWinControl ----

const TClassInfo& TWinControl::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TWinControl>("TWinControl", &TControl::StaticClass()).Build();
  return info;
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  Destroying();
  // Children owned elsewhere outlive this control: they must not point at it.
  while (!FControls.empty()) FControls.back()->SetParent(nullptr);
}

void TWinControl::InsertControl(TControl* control) {
  if (control) control->SetParent(this);
}

void TWinControl::RemoveControl(TControl* control) {
  if (control && control->Parent() == this) control->SetParent(nullptr);
}

void TWinControl::AlignControls() {
  const TComponentState state = ComponentState();
  if (FAligning || state.Contains(csLoading) || state.Contains(csDestroying)) return;
  FAligning = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{FAligning};

  TRect rest = ClientRect();
  std::vector<TControl*> list;
  auto take = [&](TAlign align, auto before) {
    list.clear();
    for (TControl* c : FControls)
      if (c->Visible() && c->Align() == align) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), before);
  };
  auto width = [&] { return std::max(rest.Right - rest.Left, 0); };
  auto height = [&] { return std::max(rest.Bottom - rest.Top, 0); };

  // Top strips in the order they stand, each at its own height and the full width.
  take(alTop, [](TControl* a, TControl* b) { return a->Top() < b->Top(); });
  for (TControl* c : list) {
    const int32_t h = c->Height();
    c->SetBounds(rest.Left, rest.Top, width(), h);
    rest.Top += h;
  }
  // Bottom strips, the lowest first.
  take(alBottom,
       [](TControl* a, TControl* b) { return a->Top() + a->Height() > b->Top() + b->Height(); });
  for (TControl* c : list) {
    const int32_t h = c->Height();
    c->SetBounds(rest.Left, rest.Bottom - h, width(), h);
    rest.Bottom -= h;
  }
  take(alLeft, [](TControl* a, TControl* b) { return a->Left() < b->Left(); });
  for (TControl* c : list) {
    const int32_t w = c->Width();
    c->SetBounds(rest.Left, rest.Top, w, height());
    rest.Left += w;
  }
  take(alRight,
       [](TControl* a, TControl* b) { return a->Left() + a->Width() > b->Left() + b->Width(); });
  for (TControl* c : list) {
    const int32_t w = c->Width();
    c->SetBounds(rest.Right - w, rest.Top, w, height());
    rest.Right -= w;
  }
  take(alClient, [](TControl*, TControl*) { return false; });
  for (TControl* c : list) c->SetBounds(rest.Left, rest.Top, width(), height());
}

void TWinControl::ChangeScale(int32_t multiply, int32_t divide) {
  if (divide == 0 || multiply == divide) return;
  // Scale everything first, then lay out once: aligning half-scaled children would size them
  // from stale values.
  const bool was = FAligning;
  FAligning = true;
  TControl::ChangeScale(multiply, divide);
  const std::vector<TControl*> children = FControls;
  for (TControl* c : children) c->ChangeScale(multiply, divide);
  FAligning = was;
  AlignControls();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  AlignControls();
}
