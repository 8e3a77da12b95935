#include "StdCtrls.h"

#include <commctrl.h>

#include "Forms.h"

// ---- TLabel

const TClassInfo& TLabel::StaticClass() {
  using P = Props<TLabel>;
  static const TClassInfo info{
      "TLabel",
      &TControl::StaticClass(),
      {P::EnumField("Alignment", &TLabel::Alignment,
                    {"taLeftJustify", "taRightJustify", "taCenter"}, taLeftJustify),
       P::BoolField("AutoSize", &TLabel::AutoSize, true),
       P::BoolField("WordWrap", &TLabel::WordWrap, false),
       P::BoolField("Transparent", &TLabel::Transparent, false),
       P::BoolField("ShowAccelChar", &TLabel::ShowAccelChar, true)},
      {},
      {}};
  return info;
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {}

void TLabel::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.windowClass = "STATIC";
  params.style |= Alignment == taCenter         ? SS_CENTER
                  : Alignment == taRightJustify ? SS_RIGHT
                  : WordWrap                    ? SS_LEFT
                                                : SS_LEFTNOWORDWRAP;
  if (!ShowAccelChar) params.style |= SS_NOPREFIX;
  if (Transparent) params.exStyle |= WS_EX_TRANSPARENT;
}

void TLabel::SetCaption(const AnsiString& caption) {
  TControl::SetCaption(caption);
  if (!IsLoading()) AdjustBounds();
}

void TLabel::Loaded() {
  TControl::Loaded();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!AutoSize) return;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, FontHandle());
  RECT r{0, 0, WordWrap ? Width() : 0, 0};
  UINT flags = DT_CALCRECT | DT_EXPANDTABS | (WordWrap ? DT_WORDBREAK : 0) |
               (ShowAccelChar ? 0 : DT_NOPREFIX);
  std::string text = Caption().empty() ? std::string(" ") : Caption();
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  SetBounds(Left(), Top(), WordWrap ? Width() : r.right, r.bottom);
}

bool TLabel::CtlColor(HDC dc, LRESULT& brush) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  if (Transparent) {
    SetBkMode(dc, TRANSPARENT);
    brush = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  } else {
    SetBkColor(dc, ColorToRGB(Color()));
    brush = reinterpret_cast<LRESULT>(ColorBrush());
  }
  return true;
}

// ---- TButton

const TClassInfo& TButton::StaticClass() {
  using P = Props<TButton>;
  static const TClassInfo info{
      "TButton",
      &TControl::StaticClass(),
      {P::IntField("ModalResult", &TButton::ModalResult, 0, &kModalResultIdents),
       P::BoolField("Default", &TButton::Default, false),
       P::BoolField("Cancel", &TButton::Cancel, false),
       P::BoolField("TabStop", &TButton::TabStop, true)},
      {},
      {}};
  return info;
}

TButton::TButton(TComponent* owner) : TControl(owner) {
  TabStop = true;
}

void TButton::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.windowClass = "BUTTON";
  params.style |= Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::Click() {
  if (ModalResult != 0)
    if (TForm* form = ParentForm()) form->ModalResult = ModalResult;
  TControl::Click();
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
}

// ---- TEdit

const TClassInfo& TEdit::StaticClass() {
  using P = Props<TEdit>;
  static const TClassInfo info{
      "TEdit",
      &TControl::StaticClass(),
      {P::Str(
           "Text", [](const TEdit& e) { return e.Caption(); },
           [](TEdit& e, const std::string& v) { e.SetText(v); }),
       P::Bool(
           "ReadOnly", [](const TEdit& e) { return e.ReadOnly(); },
           [](TEdit& e, bool v) { e.SetReadOnly(v); }, false),
       P::StrField("PasswordChar", &TEdit::PasswordChar),
       P::EnumField("BorderStyle", &TEdit::BorderStyle, {"bsNone", "bsSingle"}, bsSingle),
       P::IntField("MaxLength", &TEdit::MaxLength, 0),
       P::BoolField("TabStop", &TEdit::TabStop, true),
       P::Int(
           "Color", [](const TEdit& e) { return e.Color(); },
           [](TEdit& e, int v) { e.SetColor(v); }, clWindow, &kColorIdents),
       P::Event("OnChange", &TEdit::OnChange)},
      {},
      {}};
  return info;
}

TEdit::TEdit(TComponent* owner) : TControl(owner) {
  TabStop = true;
  SetColor(clWindow);
}

void TEdit::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.windowClass = "EDIT";
  params.style |= ES_AUTOHSCROLL | ES_LEFT;
  if (BorderStyle != bsNone) params.exStyle |= WS_EX_CLIENTEDGE;
  if (readOnly_) params.style |= ES_READONLY;
  if (!PasswordChar.empty()) params.style |= ES_PASSWORD;
}

AnsiString TEdit::Text() {
  if (!HandleAllocated()) return Caption();
  int n = GetWindowTextLengthA(hwnd_);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  GetWindowTextA(hwnd_, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

void TEdit::AfterCreateWnd() {
  if (!PasswordChar.empty())
    SendMessageA(hwnd_, EM_SETPASSWORDCHAR, static_cast<unsigned char>(PasswordChar[0]), 0);
  if (MaxLength > 0) SendMessageA(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(MaxLength), 0);
}

void TEdit::SetReadOnly(bool v) {
  readOnly_ = v;
  if (HandleAllocated()) SendMessageA(hwnd_, EM_SETREADONLY, v, 0);
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE) OnChange(this);
}

bool TEdit::CtlColor(HDC dc, LRESULT& brush) {
  SetTextColor(dc, ColorToRGB(Font().Color));
  SetBkColor(dc, ColorToRGB(Color()));
  brush = reinterpret_cast<LRESULT>(ColorBrush());
  return true;
}
