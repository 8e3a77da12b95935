#include "Controls.h"

#include <commctrl.h>

#include <algorithm>

#include "Application.h"
#include "Forms.h"

namespace {

constexpr char kControlProp[] = "DeskpinControl";
constexpr char kOwnClass[] = "TDeskpinControl";
constexpr UINT_PTR kSubclassId = 1;
int nextControlId = 100;  // clear of IDOK and IDCANCEL

}  // namespace

const TIdentMap kColorIdents = {{"clBtnFace", clBtnFace},
                                {"clWindow", clWindow},
                                {"clWindowText", clWindowText},
                                {"clBtnShadow", clBtnShadow},
                                {"clBtnHighlight", clBtnHighlight},
                                {"clHighlight", clHighlight},
                                {"clBlack", clBlack},
                                {"clWhite", clWhite},
                                {"clNavy", clNavy},
                                {"clGray", clGray}};
const TIdentMap kCharsetIdents = {{"DEFAULT_CHARSET", DEFAULT_CHARSET},
                                  {"ANSI_CHARSET", ANSI_CHARSET},
                                  {"GB2312_CHARSET", GB2312_CHARSET}};

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

// ---- TFont

const TClassInfo& TFont::StaticClass() {
  using P = Props<TFont>;
  static const TClassInfo info{"TFont",
                               &TPersistent::StaticClass(),
                               {P::Int(
                                    "Charset", [](const TFont& f) { return f.Charset; },
                                    [](TFont& f, int v) {
                                      f.Charset = v;
                                      f.Changed();
                                    },
                                    DEFAULT_CHARSET, &kCharsetIdents),
                                P::Int(
                                    "Color", [](const TFont& f) { return f.Color; },
                                    [](TFont& f, int v) {
                                      f.Color = v;
                                      f.Changed();
                                    },
                                    clWindowText, &kColorIdents),
                                P::Int(
                                    "Height", [](const TFont& f) { return f.Height; },
                                    [](TFont& f, int v) {
                                      f.Height = v;
                                      f.Changed();
                                    },
                                    -11),
                                P::Str(
                                    "Name", [](const TFont& f) { return f.Name; },
                                    [](TFont& f, const std::string& v) {
                                      f.Name = v;
                                      f.Changed();
                                    }),
                                P::Set(
                                    "Style", [](const TFont& f) { return f.Style; },
                                    [](TFont& f, unsigned v) {
                                      f.Style = v;
                                      f.Changed();
                                    },
                                    {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}, 0u)},
                               {},
                               {}};
  return info;
}

TFont::~TFont() {
  Changed();
}

void TFont::Changed() {
  if (handle_) DeleteObject(std::exchange(handle_, nullptr));
}

HFONT TFont::Handle() const {
  if (!handle_)
    handle_ =
        CreateFontA(Height, 0, 0, 0, (Style & fsBold) ? FW_BOLD : FW_NORMAL,
                    (Style & fsItalic) != 0, (Style & fsUnderline) != 0, (Style & fsStrikeOut) != 0,
                    static_cast<BYTE>(Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Name.c_str());
  return handle_;
}

// ---- TControl

const TClassInfo& TControl::StaticClass() {
  using P = Props<TControl>;
  static const TClassInfo info{
      "TControl",
      &TComponent::StaticClass(),
      {P::Int(
           "Left", [](const TControl& c) { return c.Left(); },
           [](TControl& c, int v) { c.SetLeft(v); }),
       P::Int(
           "Top", [](const TControl& c) { return c.Top(); },
           [](TControl& c, int v) { c.SetTop(v); }),
       P::Int(
           "Width", [](const TControl& c) { return c.Width(); },
           [](TControl& c, int v) { c.SetWidth(v); }),
       P::Int(
           "Height", [](const TControl& c) { return c.Height(); },
           [](TControl& c, int v) { c.SetHeight(v); }),
       P::Str(
           "Caption", [](const TControl& c) { return c.Caption(); },
           [](TControl& c, const std::string& v) { c.SetCaption(v); }),
       P::Int(
           "Color", [](const TControl& c) { return c.Color(); },
           [](TControl& c, int v) { c.SetColor(v); }, clBtnFace, &kColorIdents),
       P::Bool(
           "Enabled", [](const TControl& c) { return c.Enabled(); },
           [](TControl& c, bool v) { c.SetEnabled(v); }, true),
       P::Object("Font", [](TControl& c) { return &c.Font(); }),
       P::Bool(
           "ParentFont", [](const TControl& c) { return c.ParentFont(); },
           [](TControl& c, bool v) { c.SetParentFont(v); }, true),
       P::IntField("TabOrder", &TControl::TabOrder, -1),
       P::BoolField("TabStop", &TControl::TabStop, false),
       P::Bool(
           "Visible", [](const TControl& c) { return c.Visible(); },
           [](TControl& c, bool v) { c.SetVisible(v); }, true),
       P::Event("OnClick", &TControl::OnClick)},
      {},
      {}};
  return info;
}

TControl::TControl(TComponent* owner) : TComponent(owner), controlId_(nextControlId++) {}

TControl::~TControl() {
  Destroying();
  while (!controls_.empty()) controls_.back()->SetParent(nullptr);
  DestroyHandle();
  if (parent_) parent_->RemoveControl(this);
  if (brush_) DeleteObject(brush_);
}

void TControl::SetParent(TControl* parent) {
  if (parent_ == parent) return;
  if (parent_) parent_->RemoveControl(this);
  DestroyHandle();
  parent_ = parent;
  if (parent_) {
    parent_->InsertControl(this);
    if (parent_->HandleAllocated()) CreateWnd();
  }
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* control = dynamic_cast<TControl*>(parent)) SetParent(control);
}

void TControl::InsertControl(TControl* child) {
  controls_.push_back(child);
}

void TControl::RemoveControl(TControl* child) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), child), controls_.end());
}

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(c);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (hwnd_) MoveWindow(hwnd_, left_, top_, width_, height_, TRUE);
}

void TControl::SetCaption(const AnsiString& caption) {
  caption_ = caption;
  if (hwnd_) SetWindowTextA(hwnd_, caption_.c_str());
}

void TControl::SetVisible(bool visible) {
  visible_ = visible;
  if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (hwnd_) EnableWindow(hwnd_, enabled);
}

void TControl::SetColor(TColor color) {
  color_ = color;
  if (brush_) DeleteObject(std::exchange(brush_, nullptr));
  Invalidate();
}

HBRUSH TControl::ColorBrush() const {
  if (!brush_) brush_ = CreateSolidBrush(ColorToRGB(color_));
  return brush_;
}

HFONT TControl::FontHandle() const {
  if (parentFont_ && parent_) return parent_->FontHandle();
  return font_.Handle();
}

HWND TControl::Handle() {
  if (!hwnd_) CreateWnd();
  return hwnd_;
}

void TControl::Invalidate() {
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::SetFocus() {
  if (Handle()) ::SetFocus(hwnd_);
}

void TControl::ScaleBy(int multiplier, int divisor) {
  left_ = MulDiv(left_, multiplier, divisor);
  top_ = MulDiv(top_, multiplier, divisor);
  width_ = MulDiv(width_, multiplier, divisor);
  height_ = MulDiv(height_, multiplier, divisor);
  if (!parentFont_ || !parent_) {
    font_.Height = MulDiv(font_.Height, multiplier, divisor);
    font_.Changed();
  }
  for (TControl* child : controls_) child->ScaleBy(multiplier, divisor);
  if (hwnd_) MoveWindow(hwnd_, left_, top_, width_, height_, TRUE);
}

TControl* TControl::FromHandle(HWND hwnd) {
  return hwnd ? static_cast<TControl*>(GetPropA(hwnd, kControlProp)) : nullptr;
}

void TControl::CreateParams(TCreateParams& params) {
  params.caption = caption_;
  params.style = WS_CHILD | WS_CLIPSIBLINGS;
  if (visible_) params.style |= WS_VISIBLE;
  if (!enabled_) params.style |= WS_DISABLED;
  if (TabStop) params.style |= WS_TABSTOP;
  params.x = left_;
  params.y = top_;
  params.width = width_;
  params.height = height_;
  params.parent = parent_ ? parent_->Handle() : nullptr;
}

void TControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  ownClass_ = params.windowClass.empty();
  HMENU id = (params.style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId_))
                                       : nullptr;
  if (ownClass_) {
    WNDCLASSA wc{};
    if (!GetClassInfoA(instance, kOwnClass, &wc)) {
      wc = WNDCLASSA{};
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = OwnClassProc;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
      wc.hIcon = LoadIconA(instance, "MAINICON");
      wc.lpszClassName = kOwnClass;
      RegisterClassA(&wc);
    }
    hwnd_ =
        CreateWindowExA(params.exStyle, kOwnClass, params.caption.c_str(), params.style, params.x,
                        params.y, params.width, params.height, params.parent, id, instance, this);
  } else {
    hwnd_ = CreateWindowExA(params.exStyle, params.windowClass.c_str(), params.caption.c_str(),
                            params.style, params.x, params.y, params.width, params.height,
                            params.parent, id, instance, nullptr);
    if (hwnd_) {
      SetPropA(hwnd_, kControlProp, this);
      SetWindowSubclass(hwnd_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
  }
  if (!hwnd_) throw LastOSError();
  ApplyFont();
  std::vector<TControl*> ordered = controls_;
  std::stable_sort(ordered.begin(), ordered.end(), [](TControl* a, TControl* b) {
    return (a->TabOrder < 0 ? INT_MAX : a->TabOrder) < (b->TabOrder < 0 ? INT_MAX : b->TabOrder);
  });
  for (TControl* child : ordered)
    if (!child->hwnd_) child->CreateWnd();
  AfterCreateWnd();
}

void TControl::ApplyFont() {
  if (hwnd_) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
}

void TControl::DestroyHandle() {
  if (!hwnd_) return;
  HWND hwnd = hwnd_;
  DestroyWindow(hwnd);  // WM_NCDESTROY clears hwnd_ of this control and its children
  hwnd_ = nullptr;
}

LRESULT CALLBACK TControl::OwnClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetPropA(hwnd, kControlProp, self);
  }
  TControl* self = FromHandle(hwnd);
  if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return self->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR data) {
  return reinterpret_cast<TControl*>(data)->Dispatch(msg, wParam, lParam);
}

LRESULT TControl::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = hwnd_;
  if (msg == WM_NCDESTROY) {
    LRESULT result = DefaultHandler(msg, wParam, lParam);
    if (!ownClass_) RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
    RemovePropA(hwnd, kControlProp);
    hwnd_ = nullptr;
    return result;
  }
  return GuardCallback([&] { return WndProc(msg, wParam, lParam); }, LRESULT(0));
}

LRESULT TControl::DefaultHandler(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (ownClass_) return DefWindowProcA(hwnd_, msg, wParam, lParam);
  return DefSubclassProc(hwnd_, msg, wParam, lParam);
}

bool TControl::ReflectChildMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_COMMAND:
      if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
        child->CommandNotify(HIWORD(wParam));
        result = 0;
        return true;
      }
      return false;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam)))
        return child->CtlColor(reinterpret_cast<HDC>(wParam), result);
      return false;
    default:
      return false;
  }
}

LRESULT TControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ReflectChildMessage(msg, wParam, lParam, result)) return result;
  if (ownClass_) {
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd_, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, ColorBrush());
        return 1;
      }
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        HGDIOBJ old = SelectObject(dc, FontHandle());
        Paint(dc);
        SelectObject(dc, old);
        EndPaint(hwnd_, &ps);
        return 0;
      }
      default:
        break;
    }
  }
  return DefaultHandler(msg, wParam, lParam);
}
