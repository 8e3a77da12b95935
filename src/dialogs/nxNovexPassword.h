// Asks for a user name and a password when the update host wants them.
#pragma once

#include "Forms.h"
#include "StdCtrls.h"
#include "nxNovexDialogHost.h"

class TnxNovexPasswordForm : public TForm {
 public:
  explicit TnxNovexPasswordForm(TComponent* owner);
  ~TnxNovexPasswordForm() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TLabel* Label1 = nullptr;
  TImage* Image1 = nullptr;
  TPanel* BottomPanel = nullptr;
  TLabel* UsernameLab = nullptr;
  TLabel* PasswordLab = nullptr;
  TEdit* UsernameEdit = nullptr;
  TEdit* PasswordEdit = nullptr;
  TButton* OKBtn = nullptr;
  TButton* CancelBtn = nullptr;

  void FormClose(TObject* sender, TCloseAction& action);
  void OKBtnClick(TObject* sender);

 private:
  friend bool ShowPasswordDialog(TnxNovexDialogHost* component, const AnsiString& fileName);
  // Keeps the entry strip along the bottom of the client area.
  void AlignBottomPanel();

  TnxNovexDialogHost* UpdateComponent = nullptr;
};

// The open dialog, or null; the form frees itself when it is closed.
extern TnxNovexPasswordForm* nxNovexPasswordForm;

// Asks for the credentials of fileName, offering the component's user name.
// True when the user chose OK: both entries are then stored into the
// component. Cancel, Esc, the close box and the end of the application
// answer False and leave the component as it was.
bool ShowPasswordDialog(TnxNovexDialogHost* component, const AnsiString& fileName);
