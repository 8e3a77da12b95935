#include "Forms.h"

#include "Application.h"
#include "FormText.h"
#include "StdCtrls.h"

namespace {

constexpr UINT kReleaseMessage = WM_APP + 0x3F00;

}  // namespace

const TIdentMap kModalResultIdents = {
    {"mrNone", mrNone},   {"mrOk", mrOk},         {"mrCancel", mrCancel}, {"mrAbort", mrAbort},
    {"mrRetry", mrRetry}, {"mrIgnore", mrIgnore}, {"mrYes", mrYes},       {"mrNo", mrNo}};

const TClassInfo& TForm::StaticClass() {
  using P = Props<TForm>;
  static const TClassInfo info{
      "TForm",
      &TControl::StaticClass(),
      {P::Int(
           "ClientWidth", [](const TForm& f) { return f.ClientWidth(); },
           [](TForm& f, int v) { f.SetClientWidth(v); }, 0),
       P::Int(
           "ClientHeight", [](const TForm& f) { return f.ClientHeight(); },
           [](TForm& f, int v) { f.SetClientHeight(v); }, 0),
       P::EnumField(
           "BorderStyle", &TForm::BorderStyle,
           {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
           bsSizeable),
       P::Set(
           "BorderIcons", [](const TForm& f) { return f.BorderIcons; },
           [](TForm& f, unsigned v) { f.BorderIcons = v; },
           {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}, 7u),
       P::EnumField("Position", &TForm::Position,
                    {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                     "poScreenCenter", "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
                    poDesigned),
       P::EnumField("FormStyle", &TForm::FormStyle,
                    {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}, fsNormal),
       P::BoolField("OldCreateOrder", &TForm::OldCreateOrder),
       P::IntField("PixelsPerInch", &TForm::PixelsPerInch),
       P::IntField("TextHeight", &TForm::TextHeight), P::BoolField("Scaled", &TForm::Scaled, true),
       P::Bool(
           "Visible", [](const TForm& f) { return f.Visible(); },
           [](TForm& f, bool v) { f.SetVisible(v); }, false),
       P::Event("OnCreate", &TForm::OnCreate), P::Event("OnDestroy", &TForm::OnDestroy),
       P::Event("OnShow", &TForm::OnShow), P::Event("OnHide", &TForm::OnHide),
       P::Event("OnClose", &TForm::OnClose), P::Event("OnCloseQuery", &TForm::OnCloseQuery)},
      {},
      {}};
  return info;
}

TForm::TForm(TComponent* owner) : TControl(owner) {
  TControl::SetVisible(false);
  SetParentFont(false);
}

TForm::~TForm() {
  Destroying();
  GuardCallbackVoid([&] { OnDestroy(this); });
  if (Application().mainForm_ == this) Application().mainForm_ = nullptr;
}

void TForm::InitForm() {
  bool streamed = ReadComponentResource(this);
  if (streamed && Scaled) {
    HDC screen = GetDC(nullptr);
    int ppi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (ppi > 0 && PixelsPerInch > 0 && ppi != PixelsPerInch) {
      ScaleBy(ppi, PixelsPerInch);
      PixelsPerInch = ppi;
    }
  }
  // An exception of the creation handler is reported, not raised: the form exists.
  GuardCallbackVoid([&] { OnCreate(this); });
}

void TForm::ScaleBy(int multiplier, int divisor) {
  int left = Left(), top = Top();
  TControl::ScaleBy(multiplier, divisor);
  clientWidth_ = MulDiv(clientWidth_, multiplier, divisor);
  clientHeight_ = MulDiv(clientHeight_, multiplier, divisor);
  SetBounds(left, top, Width(), Height());  // a form keeps its place on the screen
}

void TForm::SetClientWidth(int v) {
  clientWidth_ = v;
  if (HandleAllocated()) {
    RECT r{0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&r, GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                       GetWindowLongA(hwnd_, GWL_EXSTYLE));
    SetBounds(Left(), Top(), r.right - r.left, Height());
  }
}

void TForm::SetClientHeight(int v) {
  clientHeight_ = v;
  if (HandleAllocated()) {
    RECT r{0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&r, GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                       GetWindowLongA(hwnd_, GWL_EXSTYLE));
    SetBounds(Left(), Top(), Width(), r.bottom - r.top);
  }
}

void TForm::CreateParams(TCreateParams& params) {
  TControl::CreateParams(params);
  params.style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.exStyle = WS_EX_CONTROLPARENT;
  switch (BorderStyle) {
    case bsNone:
      params.style |= WS_POPUP;
      break;
    case bsSingle:
      params.style |= WS_CAPTION | WS_BORDER;
      break;
    case bsSizeable:
      params.style |= WS_CAPTION | WS_THICKFRAME;
      break;
    case bsDialog:
      params.style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME;
      params.exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      params.style |= WS_CAPTION;
      params.exStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      params.style |= WS_CAPTION | WS_THICKFRAME;
      params.exStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (BorderStyle != bsNone && (BorderIcons & biSystemMenu)) params.style |= WS_SYSMENU;
  if (BorderStyle == bsSingle || BorderStyle == bsSizeable) {
    if (BorderIcons & biMinimize) params.style |= WS_MINIMIZEBOX;
    if (BorderIcons & biMaximize) params.style |= WS_MAXIMIZEBOX;
  }
  if (FormStyle == fsStayOnTop) params.exStyle |= WS_EX_TOPMOST;
  if (clientWidth_ > 0 || clientHeight_ > 0) {
    RECT r{0, 0, clientWidth_ > 0 ? clientWidth_ : Width(), clientHeight_ > 0 ? clientHeight_ : 0};
    AdjustWindowRectEx(&r, params.style, FALSE, params.exStyle);
    params.width = r.right - r.left;
    if (clientHeight_ > 0) params.height = r.bottom - r.top;
    SetBounds(params.x, params.y, params.width, params.height);
  }
  // Owned by the hidden application window: no task bar button of its own.
  params.parent = Application().Handle();
}

void TForm::AfterCreateWnd() {
  SetPropA(hwnd_, kFormProp, this);
  RECT r;
  GetWindowRect(hwnd_, &r);
  TControl::SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void TForm::PlaceOnScreen() {
  if (Position == poDesigned || Position == poDefault) return;
  RECT area;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  TForm* main = Application().MainForm();
  if ((Position == poMainFormCenter || Position == poOwnerFormCenter) && main && main != this &&
      main->HandleAllocated() && IsWindowVisible(main->hwnd_))
    GetWindowRect(main->hwnd_, &area);
  int left = area.left + ((area.right - area.left) - Width()) / 2;
  int top = area.top + ((area.bottom - area.top) - Height()) / 2;
  SetBounds(left < area.left ? area.left : left, top < area.top ? area.top : top, Width(),
            Height());
}

void TForm::SetVisible(bool visible) {
  if (visible == Visible() && (!visible || (HandleAllocated() && IsWindowVisible(hwnd_)))) return;
  if (!visible) {
    TControl::SetVisible(false);
    GuardCallbackVoid([&] { OnHide(this); });
    return;
  }
  HandleNeeded();
  // Placed when first shown, also when the window was made earlier (a modal
  // form makes it before it shows it).
  if (!placed_) {
    placed_ = true;
    PlaceOnScreen();
  }
  GuardCallbackVoid([&] { DoShow(); });
  TControl::SetVisible(true);
  if (FormStyle == fsStayOnTop)
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  // Keyboard input starts at the first control that takes it.
  HWND focus = GetFocus();
  if (!focus || GetAncestor(focus, GA_ROOT) != hwnd_)
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) ::SetFocus(first);
}

int TForm::ShowModal() {
  if (Visible() || modal_) throw Exception("Cannot make a visible window modal");
  ReleaseCapture();
  modal_ = true;
  HandleNeeded();
  TTaskWindowsDisabled disabled(hwnd_);
  scope_exit restore([&] {
    disabled.Restore();
    if (HandleAllocated()) Hide();
    modal_ = false;
  });
  Show();
  SetActiveWindow(hwnd_);
  ModalResult = mrNone;
  do {
    Application().HandleMessage();
    if (Application().Terminated())
      ModalResult = mrCancel;
    else if (ModalResult != mrNone)
      CloseModal();
  } while (ModalResult == mrNone);
  return ModalResult;
}

void TForm::CloseModal() {
  if (!CloseQuery()) {
    ModalResult = mrNone;
    return;
  }
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone)
    ModalResult = mrNone;
  else if (action == caFree)
    Release();
}

bool TForm::CloseQuery() {
  bool canClose = true;
  OnCloseQuery(this, canClose);
  return canClose;
}

void TForm::Close() {
  if (modal_) {
    ModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application().MainForm() == this) Application().Terminate();
  if (action == caHide) Hide();
  if (action == caMinimize && HandleAllocated()) ShowWindow(hwnd_, SW_MINIMIZE);
  if (action == caFree) Release();
}

void TForm::Release() {
  if (releasing_) return;
  releasing_ = true;
  PostMessageA(Handle(), kReleaseMessage, 0, 0);
}

void TForm::CollectButtons(const TControl* control, TButton** def, TButton** cancel) const {
  for (TControl* child : control->Controls()) {
    if (auto* button = dynamic_cast<TButton*>(child)) {
      if (button->Default && !*def) *def = button;
      if (button->Cancel && !*cancel) *cancel = button;
    }
    CollectButtons(child, def, cancel);
  }
}

TButton* TForm::DefaultButton() const {
  TButton *def = nullptr, *cancel = nullptr;
  CollectButtons(this, &def, &cancel);
  return def;
}

TButton* TForm::CancelButton() const {
  TButton *def = nullptr, *cancel = nullptr;
  CollectButtons(this, &def, &cancel);
  return cancel;
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case kReleaseMessage:
      delete this;
      return 0;
    case DM_GETDEFID: {
      TButton* button = DefaultButton();
      if (button && button->Visible() && button->Enabled())
        return MAKELRESULT(button->ControlId(), DC_HASDEFID);
      return 0;
    }
    case WM_COMMAND:
      // Esc in the form: IsDialogMessage asks for IDCANCEL.
      if (LOWORD(wParam) == IDCANCEL && !TControl::FromHandle(reinterpret_cast<HWND>(lParam))) {
        TButton* button = CancelButton();
        if (button && button->Visible() && button->Enabled()) button->Click();
        return 0;
      }
      break;
    case WM_SYSCOMMAND:
      if (SysCommand(wParam)) return 0;
      break;
    default:
      break;
  }
  return TControl::WndProc(msg, wParam, lParam);
}
