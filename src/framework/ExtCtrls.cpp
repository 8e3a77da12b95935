// Panels, group boxes, bevels, images and progress bars.
#include "StdCtrls.h"

#include <commctrl.h>

// ---- TPanel

namespace {
const std::vector<const char*> kBevelCuts = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};

void DrawBevel(HDC dc, RECT& r, TBevelCut cut) {
  if (cut == bvNone) return;
  if (cut != bvSpace)
    DrawEdge(dc, &r, cut == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
  InflateRect(&r, -1, -1);
}
}  // namespace

const TClassInfo& TPanel::StaticClass() {
  using P = Props<TPanel>;
  static const TClassInfo info{
      "TPanel",
      &TControl::StaticClass(),
      {P::EnumField("BevelOuter", &TPanel::BevelOuter, kBevelCuts, bvRaised),
       P::EnumField("BevelInner", &TPanel::BevelInner, kBevelCuts, bvNone)},
      {},
      {}};
  return info;
}

TPanel::TPanel(TComponent* owner) : TControl(owner) {}

void TPanel::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.style |= WS_CLIPCHILDREN;
  params.exStyle |= WS_EX_CONTROLPARENT;
}

void TPanel::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  DrawBevel(dc, r, BevelOuter);
  DrawBevel(dc, r, BevelInner);
  if (!Caption().empty()) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(Font().Color));
    DrawTextA(dc, Caption().c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

// ---- TGroupBox

const TClassInfo& TGroupBox::StaticClass() {
  static const TClassInfo info{"TGroupBox", &TControl::StaticClass(), {}, {}, {}};
  return info;
}

TGroupBox::TGroupBox(TComponent* owner) : TControl(owner) {}

void TGroupBox::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.windowClass = "BUTTON";
  params.style |= BS_GROUPBOX;
  params.exStyle |= WS_EX_CONTROLPARENT;
}

LRESULT TGroupBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  // The controls inside a group box talk to it; answer their colour requests
  // and pass their notifications on, as the form would.
  LRESULT result = 0;
  if (ReflectChildMessage(msg, wParam, lParam, result)) return result;
  if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN) {
    SetBkColor(reinterpret_cast<HDC>(wParam), ColorToRGB(Color()));
    return reinterpret_cast<LRESULT>(ColorBrush());
  }
  // The button class leaves a group box's inside unpainted, and the form
  // clips its children out of its own background.
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd_, &r);
    FillRect(reinterpret_cast<HDC>(wParam), &r, ColorBrush());
    return 1;
  }
  return TControl::WndProc(msg, wParam, lParam);
}

// ---- TBevel

const TClassInfo& TBevel::StaticClass() {
  using P = Props<TBevel>;
  static const TClassInfo info{
      "TBevel",
      &TControl::StaticClass(),
      {P::EnumField("Shape", &TBevel::Shape,
                    {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine",
                     "bsSpacer"},
                    bsBox),
       P::EnumField("Style", &TBevel::Style, {"bsLowered", "bsRaised"}, bsLowered)},
      {},
      {}};
  return info;
}

TBevel::TBevel(TComponent* owner) : TControl(owner) {}

void TBevel::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.exStyle |= WS_EX_TRANSPARENT;
}

void TBevel::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  UINT edge = Style == bsLowered ? EDGE_ETCHED : EDGE_BUMP;
  switch (Shape) {
    case bsBox:
      DrawEdge(dc, &r, Style == bsLowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      break;
    case bsFrame:
      DrawEdge(dc, &r, edge, BF_RECT);
      break;
    case bsTopLine:
      DrawEdge(dc, &r, edge, BF_TOP);
      break;
    case bsBottomLine:
      DrawEdge(dc, &r, edge, BF_BOTTOM);
      break;
    case bsLeftLine:
      DrawEdge(dc, &r, edge, BF_LEFT);
      break;
    case bsRightLine:
      DrawEdge(dc, &r, edge, BF_RIGHT);
      break;
    case bsSpacer:
      break;
  }
}

// ---- TImage

const TClassInfo& TImage::StaticClass() {
  using P = Props<TImage>;
  static const TClassInfo info{"TImage",
                               &TControl::StaticClass(),
                               {P::Str(
                                    "Picture", [](const TImage& i) { return i.Picture(); },
                                    [](TImage& i, const std::string& v) { i.SetPicture(v); }),
                                P::BoolField("Stretch", &TImage::Stretch, false),
                                P::BoolField("Center", &TImage::Center, false)},
                               {},
                               {}};
  return info;
}

TImage::TImage(TComponent* owner) : TControl(owner) {}

TImage::~TImage() {
  if (icon_) DestroyIcon(icon_);
  if (bitmap_) DeleteObject(bitmap_);
}

void TImage::SetPicture(const AnsiString& resourceName) {
  picture_ = resourceName;
  if (icon_) DestroyIcon(std::exchange(icon_, nullptr));
  if (bitmap_) DeleteObject(std::exchange(bitmap_, nullptr));
  if (resourceName.empty()) return;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // An icon group is taken at its own size (32 x 32, 16 colours), not the system's.
  icon_ = static_cast<HICON>(
      LoadImageA(instance, resourceName.c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
  if (!icon_)
    bitmap_ = static_cast<HBITMAP>(
        LoadImageA(instance, resourceName.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  Invalidate();
}

void TImage::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
}

void TImage::Paint(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  int w = r.right, h = r.bottom, pw = 0, ph = 0;
  if (icon_) {
    ICONINFO ii{};
    GetIconInfo(icon_, &ii);
    BITMAP bm{};
    GetObjectA(ii.hbmColor ? ii.hbmColor : ii.hbmMask, sizeof(bm), &bm);
    pw = bm.bmWidth;
    ph = ii.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
  } else if (bitmap_) {
    BITMAP bm{};
    GetObjectA(bitmap_, sizeof(bm), &bm);
    pw = bm.bmWidth;
    ph = bm.bmHeight;
  } else {
    return;
  }
  int dw = Stretch ? w : pw, dh = Stretch ? h : ph;
  int x = Center && !Stretch ? (w - pw) / 2 : 0, y = Center && !Stretch ? (h - ph) / 2 : 0;
  if (icon_) {
    DrawIconEx(dc, x, y, icon_, dw, dh, 0, nullptr, DI_NORMAL);
    return;
  }
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap_);
  SetStretchBltMode(dc, HALFTONE);
  StretchBlt(dc, x, y, dw, dh, memory, 0, 0, pw, ph, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

// ---- TProgressBar

const TClassInfo& TProgressBar::StaticClass() {
  using P = Props<TProgressBar>;
  static const TClassInfo info{"TProgressBar",
                               &TControl::StaticClass(),
                               {P::Int(
                                    "Min", [](const TProgressBar& p) { return p.Min(); },
                                    [](TProgressBar& p, int v) { p.SetMin(v); }, 0),
                                P::Int(
                                    "Max", [](const TProgressBar& p) { return p.Max(); },
                                    [](TProgressBar& p, int v) { p.SetMax(v); }, 100),
                                P::Int(
                                    "Position", [](const TProgressBar& p) { return p.Position(); },
                                    [](TProgressBar& p, int v) { p.SetPosition(v); }, 0),
                                P::BoolField("Smooth", &TProgressBar::Smooth, false)},
                               {},
                               {}};
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner) {}

void TProgressBar::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.windowClass = PROGRESS_CLASSA;
  if (Smooth) params.style |= PBS_SMOOTH;
}

void TProgressBar::AfterCreateWnd() {
  SendMessageA(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetMin(int v) {
  min_ = v;
  if (HandleAllocated()) AfterCreateWnd();
}

void TProgressBar::SetMax(int v) {
  max_ = v;
  if (HandleAllocated()) AfterCreateWnd();
}

void TProgressBar::SetPosition(int v) {
  position_ = v < min_ ? min_ : v > max_ ? max_ : v;
  if (HandleAllocated()) SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}
