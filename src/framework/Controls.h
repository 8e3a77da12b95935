// Controls: windows with a position, a caption and a font, placed inside a
// parent control. Every control is a real window, created with its parent.
#pragma once

#include <string>
#include <vector>

#include "Component.h"

class TForm;

// Colours as the form texts name them; system colours carry the high bit.
using TColor = int;
constexpr TColor clBtnFace = static_cast<int>(0x8000000F);
constexpr TColor clWindow = static_cast<int>(0x80000005);
constexpr TColor clWindowText = static_cast<int>(0x80000008);
constexpr TColor clBtnShadow = static_cast<int>(0x80000010);
constexpr TColor clBtnHighlight = static_cast<int>(0x80000014);
constexpr TColor clHighlight = static_cast<int>(0x8000000D);
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
COLORREF ColorToRGB(TColor color);
extern const TIdentMap kColorIdents;
extern const TIdentMap kCharsetIdents;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TFont : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  ~TFont() override;

  std::string Name = "MS Sans Serif";
  int Height = -11;
  int Charset = DEFAULT_CHARSET;
  TColor Color = clWindowText;
  unsigned Style = 0;

  HFONT Handle() const;  // made on demand, remade after a change
  void Changed();

 private:
  mutable HFONT handle_ = nullptr;
};

// The window a control asks for when its handle is made.
struct TCreateParams {
  std::string windowClass;  // empty: our own class, painted by the control
  std::string caption;
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TControl* Parent() const { return parent_; }
  void SetParent(TControl* parent);
  TComponent* ParentComponent() const override { return parent_; }
  void SetParentComponent(TComponent* parent) override;
  const std::vector<TControl*>& Controls() const { return controls_; }
  TForm* ParentForm();

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  virtual void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }

  const AnsiString& Caption() const { return caption_; }
  virtual void SetCaption(const AnsiString& caption);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  HBRUSH ColorBrush() const;  // a brush of Color, kept by the control

  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v) { parentFont_ = v; }
  // The font the control draws with: its own, or its parent's.
  HFONT FontHandle() const;

  int TabOrder = -1;
  bool TabStop = false;
  TNotifyEvent OnClick;

  HWND Handle();
  bool HandleAllocated() const { return hwnd_ != nullptr; }
  void HandleNeeded() { Handle(); }
  void Invalidate();
  void SetFocus();

  // Scales position, size and font from one pixel density to another.
  virtual void ScaleBy(int multiplier, int divisor);

  int ControlId() const { return controlId_; }

  // Finds our control behind a window handle.
  static TControl* FromHandle(HWND hwnd);

  // Reflected notifications from the parent window.
  virtual void CommandNotify(WORD code) {}
  virtual bool CtlColor(HDC dc, LRESULT& brush) { return false; }
  virtual void Click() { OnClick(this); }

 protected:
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateWnd();
  virtual void AfterCreateWnd() {}
  void DestroyHandle();
  // Handles a message of the control's window; the default lets Windows do it.
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultHandler(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual void Paint(HDC dc) {}
  // Routes WM_COMMAND, WM_CTLCOLOR* and WM_DRAWITEM of child windows.
  bool ReflectChildMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void ApplyFont();

  HWND hwnd_ = nullptr;
  bool ownClass_ = false;

 private:
  static LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  void InsertControl(TControl* child);
  void RemoveControl(TControl* child);

  TControl* parent_ = nullptr;
  std::vector<TControl*> controls_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  AnsiString caption_;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clBtnFace;
  TFont font_;
  bool parentFont_ = true;
  int controlId_ = 0;
  mutable HBRUSH brush_ = nullptr;
};
