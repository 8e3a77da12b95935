// Forms: top-level windows streamed from their form texts, shown modeless or
// modal. A modal loop ends with cancel when the application is told to end.
#pragma once

#include "Controls.h"

class TButton;

enum TModalResult : int {
  mrNone = 0,
  mrOk = IDOK,
  mrCancel = IDCANCEL,
  mrAbort = IDABORT,
  mrRetry = IDRETRY,
  mrIgnore = IDIGNORE,
  mrYes = IDYES,
  mrNo = IDNO
};
extern const TIdentMap kModalResultIdents;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm : public TControl {
 public:
  static constexpr char kFormProp[] = "DeskpinForm";

  explicit TForm(TComponent* owner);
  ~TForm() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }
  void SetClientWidth(int v);
  void SetClientHeight(int v);

  TFormBorderStyle BorderStyle = bsSizeable;
  unsigned BorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition Position = poDesigned;
  TFormStyle FormStyle = fsNormal;
  bool OldCreateOrder = false;
  int PixelsPerInch = 96;
  int TextHeight = 13;
  bool Scaled = true;

  int ModalResult = mrNone;
  bool IsModal() const { return modal_; }

  void SetVisible(bool visible) override;
  void ScaleBy(int multiplier, int divisor) override;
  // Shows the form and runs a message loop until ModalResult is set, the form
  // is closed, or the application is told to terminate (then mrCancel).
  int ShowModal();
  // Asks OnCloseQuery and OnClose; hides or frees the form as they decide.
  void Close();
  // Frees the form once the message that is being handled now is done.
  void Release();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TEvent<TObject*, TCloseAction&> OnClose;
  TEvent<TObject*, bool&> OnCloseQuery;

  TButton* DefaultButton() const;
  TButton* CancelButton() const;

 protected:
  // Reads the form text resource of the derived class, scales the form to the
  // screen's pixel density and runs OnCreate. Derived constructors call it
  // last, when their published fields and methods are in place.
  void InitForm();
  void CreateParams(TCreateParams& params) override;
  void AfterCreateWnd() override;
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  virtual void DoShow() { OnShow(this); }
  virtual void DoClose(TCloseAction& action) { OnClose(this, action); }
  virtual bool CloseQuery();
  // WM_SYSCOMMAND; return true when handled.
  virtual bool SysCommand(WPARAM command) { return false; }

 private:
  void PlaceOnScreen();
  void CloseModal();
  void CollectButtons(const TControl* control, TButton** def, TButton** cancel) const;

  int clientWidth_ = 0, clientHeight_ = 0;
  bool modal_ = false;
  bool releasing_ = false;
  bool placed_ = false;
};
