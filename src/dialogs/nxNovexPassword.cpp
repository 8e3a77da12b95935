#include "nxNovexPassword.h"

#include "Application.h"
#include "nxNovexMessages.h"

namespace {

// Room kept right of the explanation inside the client area.
constexpr int kLabelRightMargin = 18;

constexpr unsigned kMsgCaption = 11;      // "Enter password"
constexpr unsigned kMsgUsername = 12;     // "User Name"
constexpr unsigned kMsgPassword = 13;     // "Password"
constexpr unsigned kMsgOK = 16;           // "&OK"
constexpr unsigned kMsgCancel = 17;       // "&Cancel"
constexpr unsigned kMsgExplanation = 29;  // "Access to remote file \"%s\" is password protected..."

}  // namespace

TnxNovexPasswordForm* nxNovexPasswordForm = nullptr;

const TClassInfo& TnxNovexPasswordForm::StaticClass() {
  using P = Props<TnxNovexPasswordForm>;
  static const TClassInfo info{"TnxNovexPasswordForm",
                               &TForm::StaticClass(),
                               {},
                               {P::Field("Label1", &TnxNovexPasswordForm::Label1),
                                P::Field("Image1", &TnxNovexPasswordForm::Image1),
                                P::Field("BottomPanel", &TnxNovexPasswordForm::BottomPanel),
                                P::Field("UsernameLab", &TnxNovexPasswordForm::UsernameLab),
                                P::Field("PasswordLab", &TnxNovexPasswordForm::PasswordLab),
                                P::Field("UsernameEdit", &TnxNovexPasswordForm::UsernameEdit),
                                P::Field("PasswordEdit", &TnxNovexPasswordForm::PasswordEdit),
                                P::Field("OKBtn", &TnxNovexPasswordForm::OKBtn),
                                P::Field("CancelBtn", &TnxNovexPasswordForm::CancelBtn)},
                               {P::Method("FormClose", &TnxNovexPasswordForm::FormClose),
                                P::Method("OKBtnClick", &TnxNovexPasswordForm::OKBtnClick)}};
  return info;
}

TnxNovexPasswordForm::TnxNovexPasswordForm(TComponent* owner) : TForm(owner) {
  InitForm();
}

TnxNovexPasswordForm::~TnxNovexPasswordForm() {
  // Also when the application frees it without a close.
  if (nxNovexPasswordForm == this) nxNovexPasswordForm = nullptr;
}

void TnxNovexPasswordForm::FormClose(TObject* sender, TCloseAction& action) {
  action = caFree;
  if (nxNovexPasswordForm == this) nxNovexPasswordForm = nullptr;
}

void TnxNovexPasswordForm::OKBtnClick(TObject* sender) {
  if (UpdateComponent)
    UpdateComponent->SetHTTPCredentials(UsernameEdit->Text(), PasswordEdit->Text());
}

void TnxNovexPasswordForm::AlignBottomPanel() {
  BottomPanel->SetBounds(0, ClientHeight() - BottomPanel->Height(), ClientWidth(),
                         BottomPanel->Height());
}

bool ShowPasswordDialog(TnxNovexDialogHost* component, const AnsiString& fileName) {
  if (!nxNovexPasswordForm) nxNovexPasswordForm = new TnxNovexPasswordForm(&Application());
  TnxNovexPasswordForm* form = nxNovexPasswordForm;
  form->UpdateComponent = component;

  TLabel* label = form->Label1;
  label->SetWidth(form->ClientWidth() - label->Left() - kLabelRightMargin);
  label->SetCaption(FmtLoadMsg(kMsgExplanation, {fileName}));  // wraps and sets the height
  form->SetCaption(LoadMsg(kMsgCaption));
  form->UsernameLab->SetCaption(LoadMsg(kMsgUsername));
  form->UsernameEdit->SetText(component ? component->HTTPUsername() : AnsiString());
  form->PasswordEdit->SetText(AnsiString());  // never offered again
  form->PasswordLab->SetCaption(LoadMsg(kMsgPassword));
  form->OKBtn->SetCaption(LoadMsg(kMsgOK));
  form->CancelBtn->SetCaption(LoadMsg(kMsgCancel));
  form->SetClientHeight(label->Top() + label->Height() + form->BottomPanel->Height());
  form->AlignBottomPanel();
  return form->ShowModal() == mrOk;
}
