#include "nxNovexUpgradeMsg.h"

#include "Application.h"
#include "nxNovexMessages.h"

namespace {

// Room kept right of the question text, inside the window's border.
constexpr int kLabelRightMargin = 11;

constexpr unsigned kMsgCaption = 0;    // "Application update wizard"
constexpr unsigned kMsgYes = 14;       // "&Yes"
constexpr unsigned kMsgLater = 19;     // "&Later"
constexpr unsigned kMsgQuestion = 23;  // "A newer version of %s was released. ..."

}  // namespace

TnxNovexUpgradeMessageForm* nxNovexUpgradeMessageForm = nullptr;

const TClassInfo& TnxNovexUpgradeMessageForm::StaticClass() {
  using P = Props<TnxNovexUpgradeMessageForm>;
  static const TClassInfo info{"TnxNovexUpgradeMessageForm",
                               &TForm::StaticClass(),
                               {},
                               {P::Field("BottomPanel", &TnxNovexUpgradeMessageForm::BottomPanel),
                                P::Field("YesBtn", &TnxNovexUpgradeMessageForm::YesBtn),
                                P::Field("LaterBtn", &TnxNovexUpgradeMessageForm::LaterBtn),
                                P::Field("Label1", &TnxNovexUpgradeMessageForm::Label1),
                                P::Field("Icon", &TnxNovexUpgradeMessageForm::Icon)},
                               {P::Method("FormClose", &TnxNovexUpgradeMessageForm::FormClose),
                                P::Method("FormShow", &TnxNovexUpgradeMessageForm::FormShow)}};
  return info;
}

TnxNovexUpgradeMessageForm::TnxNovexUpgradeMessageForm(TComponent* owner) : TForm(owner) {
  InitForm();
}

void TnxNovexUpgradeMessageForm::CreateParams(TCreateParams& params) {
  TForm::CreateParams(params);
  params.exStyle |= WS_EX_TOPMOST;
}

void TnxNovexUpgradeMessageForm::FormShow(TObject* sender) {
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

void TnxNovexUpgradeMessageForm::FormClose(TObject* sender, TCloseAction& action) {
  action = caFree;
  if (nxNovexUpgradeMessageForm == this) nxNovexUpgradeMessageForm = nullptr;
}

int TnxNovexUpgradeMessageForm::OuterWidth() {
  if (HandleAllocated()) return Width();
  TCreateParams params;
  CreateParams(params);
  return params.width;
}

void TnxNovexUpgradeMessageForm::AlignBottomPanel() {
  BottomPanel->SetBounds(0, ClientHeight() - BottomPanel->Height(), ClientWidth(),
                         BottomPanel->Height());
}

bool ShowUpgradeQuestion(const AnsiString& UpgradeMsg) {
  // The title of the development environment's own host never reaches the user.
  AnsiString title = Application().Title();
  const AnsiString environment = LoadResString(kDevEnvironmentNameId);
  if (!environment.empty() && title.find(environment) != AnsiString::npos)
    title = LoadResString(kAppTitlePlaceholderId);

  if (!nxNovexUpgradeMessageForm)
    nxNovexUpgradeMessageForm = new TnxNovexUpgradeMessageForm(&Application());
  TnxNovexUpgradeMessageForm* form = nxNovexUpgradeMessageForm;

  const AnsiString message = UpgradeMsg.empty() ? AnsiString() : "\n" + UpgradeMsg + "\n";
  TLabel* label = form->Label1;
  label->SetWidth(form->OuterWidth() - label->Left() - kLabelRightMargin);
  label->SetCaption(FmtLoadMsg(kMsgQuestion, {title, message}));  // wraps and sets the height
  form->SetCaption(LoadMsg(kMsgCaption));
  form->YesBtn->SetCaption(LoadMsg(kMsgYes));
  form->LaterBtn->SetCaption(LoadMsg(kMsgLater));
  form->SetClientHeight(label->Top() + label->Height() + form->BottomPanel->Height());
  form->AlignBottomPanel();
  return form->ShowModal() == mrYes;
}
