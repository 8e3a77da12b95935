#include "nxNovexWizard.h"

#include "Application.h"
#include "nxNovexMessages.h"

namespace {

constexpr unsigned kMsgCaption = 0;         // "Application update wizard"
constexpr unsigned kMsgDownloading = 1;     // "Downloading files..."
constexpr unsigned kMsgCompleted = 2;       // "Upgrade completed!"
constexpr unsigned kMsgCurrentFile = 3;     // "Current file"
constexpr unsigned kMsgAllFiles = 4;        // "All files"
constexpr unsigned kMsgFileFrom = 5;        // "Downloading file from"
constexpr unsigned kMsgFileSize = 6;        // "File size: %.1f Kb"
constexpr unsigned kMsgTransferRate = 7;    // "Transfer rate: %.1f Kb/s"
constexpr unsigned kMsgTimeLeft = 8;        // "Estimated time left: %d:%.2d:%.2d"
constexpr unsigned kMsgFileOfFiles = 9;     // "Downloading %d of %d"
constexpr unsigned kMsgCompletedNote = 10;  // "The update of %s has been successfully completed..."
constexpr unsigned kMsgOK = 16;             // "&OK"
constexpr unsigned kMsgCancel = 17;         // "&Cancel"
constexpr unsigned kMsgNext = 18;           // "&Next >"
constexpr unsigned kMsgPreparing = 22;      // "Preparing. . ."
constexpr unsigned kMsgAbortQuestion =
    27;  // "The update is not completed.\nWould you like to abort..."

// Rows of the current-file group when the address is not shown.
constexpr int kLineSpacing = 16;
constexpr int kBarGap = 20;
constexpr int kGroupShift = 10;
constexpr int kGroupShrink = 30;

constexpr double kBytesPerKb = 1024.0;
constexpr int kSecondsPerHour = 3600;
constexpr int kSecondsPerMinute = 60;

// The low four bits of a system command are Windows' own.
constexpr WPARAM kSysCommandMask = 0xFFF0;

// The stored side picture, restored when a given one cannot be loaded.
constexpr char kStoredPicture[] = "NXNOVEXWIZARDPICTURE";

AnsiString Padded(const AnsiString& text) {
  return " " + text + " ";
}

}  // namespace

TnxNovexWizardForm* nxNovexWizardForm = nullptr;

const TClassInfo& TnxNovexWizardForm::StaticClass() {
  using P = Props<TnxNovexWizardForm>;
  using F = TnxNovexWizardForm;
  static const TClassInfo info{
      "TnxNovexWizardForm",
      &TForm::StaticClass(),
      {},
      {P::Field("Panel1", &F::Panel1), P::Field("Image1", &F::Image1),
       P::Field("Bevel1", &F::Bevel1), P::Field("WizardTitle", &F::WizardTitle),
       P::Field("LCurrentFile", &F::LCurrentFile), P::Field("LAllFiles", &F::LAllFiles),
       P::Field("LDownloadingFileFrom", &F::LDownloadingFileFrom),
       P::Field("LEstimatedTime", &F::LEstimatedTime), P::Field("LTransferRate", &F::LTransferRate),
       P::Field("ProgressCurrentFile", &F::ProgressCurrentFile),
       P::Field("ProgressAllFiles", &F::ProgressAllFiles), P::Field("FinishBtn", &F::FinishBtn),
       P::Field("CancelBtn", &F::CancelBtn), P::Field("AllDownloading", &F::AllDownloading),
       P::Field("AboutShadow", &F::AboutShadow), P::Field("AboutLabel", &F::AboutLabel),
       P::Field("FileURL", &F::FileURL), P::Field("AfterNote", &F::AfterNote),
       P::Field("LFileSize", &F::LFileSize)},
      {P::Method("FormClose", &F::FormClose), P::Method("FinishBtnClick", &F::FinishBtnClick),
       P::Method("CancelBtnClick", &F::CancelBtnClick)}};
  return info;
}

TnxNovexWizardForm::TnxNovexWizardForm(TComponent* owner) : TForm(owner) {
  InitForm();
}

TnxNovexWizardForm::~TnxNovexWizardForm() {
  if (destroyedFlag_) *destroyedFlag_ = true;
  if (nxNovexWizardForm == this) nxNovexWizardForm = nullptr;
}

void TnxNovexWizardForm::HideFileLocation() {
  if (fileLocationHidden_) return;  // a second showing must not move the rows again
  fileLocationHidden_ = true;
  FileURL->Hide();
  LDownloadingFileFrom->Hide();
  LFileSize->SetTop(LDownloadingFileFrom->Top());
  LTransferRate->SetTop(LFileSize->Top() + kLineSpacing);
  LEstimatedTime->SetTop(LTransferRate->Top() + kLineSpacing);
  ProgressCurrentFile->SetTop(LEstimatedTime->Top() + kBarGap);
  LCurrentFile->SetBounds(LCurrentFile->Left(), LCurrentFile->Top() + kGroupShift,
                          LCurrentFile->Width(), LCurrentFile->Height() - kGroupShrink);
}

void TnxNovexWizardForm::ShowFileStart(const AnsiString& url, int number, int count) {
  FileURL->SetText(url);
  AllDownloading->SetCaption(FmtLoadMsg(kMsgFileOfFiles, {number, count}));
}

void TnxNovexWizardForm::ShowFileSize(std::int64_t bytes) {
  LFileSize->SetCaption(FmtLoadMsg(kMsgFileSize, {static_cast<double>(bytes) / kBytesPerKb}));
}

void TnxNovexWizardForm::ShowProgress(int percentsDone, int totalPercentsDone, double transferRate,
                                      int estimatedTimeLeft) {
  ProgressCurrentFile->SetPosition(percentsDone);
  ProgressAllFiles->SetPosition(totalPercentsDone);
  LTransferRate->SetCaption(FmtLoadMsg(kMsgTransferRate, {transferRate}));
  LEstimatedTime->SetCaption(
      FmtLoadMsg(kMsgTimeLeft, {estimatedTimeLeft / kSecondsPerHour,
                                estimatedTimeLeft / kSecondsPerMinute % kSecondsPerMinute,
                                estimatedTimeLeft % kSecondsPerMinute}));
}

void TnxNovexWizardForm::ShowCompleted() {
  WizardTitle->SetCaption(LoadMsg(kMsgCompleted));
  AfterNote->SetCaption(FmtLoadMsg(kMsgCompletedNote, {Application().Title()}));
  AfterNote->AutoSize = true;  // keeps its width and grows to the wrapped text
  AfterNote->AdjustBounds();
  LCurrentFile->Hide();
  LAllFiles->Hide();
  CancelBtn->SetEnabled(false);
  FinishBtn->SetCaption(LoadMsg(kMsgOK));
  FinishBtn->SetEnabled(true);
  // Enter now presses OK; the disabled Cancel takes neither Enter nor Esc.
  CancelBtn->Default = false;
  FinishBtn->Default = true;
  if (CancelBtn->HandleAllocated())
    SendMessageA(CancelBtn->Handle(), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  SendMessageA(FinishBtn->Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  FinishBtn->SetFocus();
}

bool TnxNovexWizardForm::SysCommand(WPARAM command) {
  if ((command & kSysCommandMask) != SC_CLOSE) return false;
  if (asking_) return true;  // the question is open already
  bool destroyed = false;
  destroyedFlag_ = &destroyed;
  asking_ = true;
  const int answer = Application().MessageBox(LoadMsg(kMsgAbortQuestion), Application().Title(),
                                              MB_YESNO | MB_ICONQUESTION);
  // The component may have ended the update and destroyed the wizard meanwhile.
  if (destroyed) return true;
  destroyedFlag_ = nullptr;
  asking_ = false;
  if (answer != IDYES) return true;
  TnxNovexDialogHost* component = UpdateComponent;
  Close();
  if (component) component->AbortUpgrade();
  return true;
}

void TnxNovexWizardForm::CancelBtnClick(TObject* sender) {
  // After the click is done, the same way as the close box.
  PostMessageA(Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
}

void TnxNovexWizardForm::FinishBtnClick(TObject* sender) {
  Close();
}

void TnxNovexWizardForm::FormClose(TObject* sender, TCloseAction& action) {
  action = caFree;
  if (nxNovexWizardForm == this) nxNovexWizardForm = nullptr;
  if (UpdateComponent) UpdateComponent->SignalWaitEvent();
}

void ShowWizard(TnxNovexDialogHost* component) {
  if (!nxNovexWizardForm) nxNovexWizardForm = new TnxNovexWizardForm(&Application());
  TnxNovexWizardForm* form = nxNovexWizardForm;
  form->UpdateComponent = component;

  const AnsiString product = Padded(LoadResString(kProductNameId));
  form->AboutLabel->SetCaption(product);
  form->AboutShadow->SetCaption(product);

  const TnxNovexDialogHost::TWizardLook look =
      component ? component->WizardLook() : TnxNovexDialogHost::TWizardLook();
  if (look.StayOnTop)
    SetWindowPos(form->Handle(), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
  if (look.HideFileLocation) form->HideFileLocation();
  if (!look.Pic118x218.empty()) {
    form->Image1->SetPicture(look.Pic118x218);
    if (!form->Image1->HasPicture()) form->Image1->SetPicture(kStoredPicture);
  }

  form->LEstimatedTime->SetCaption(LoadMsg(kMsgPreparing));
  form->SetCaption(LoadMsg(kMsgCaption));
  form->WizardTitle->SetCaption(LoadMsg(kMsgDownloading));
  form->LCurrentFile->SetCaption(Padded(LoadMsg(kMsgCurrentFile)));
  form->LAllFiles->SetCaption(Padded(LoadMsg(kMsgAllFiles)));
  form->LDownloadingFileFrom->SetCaption(LoadMsg(kMsgFileFrom));
  form->FinishBtn->SetCaption(LoadMsg(kMsgNext));
  form->CancelBtn->SetCaption(LoadMsg(kMsgCancel));
  form->Show();
}

void DestroyWizard() {
  delete nxNovexWizardForm;  // its destructor clears the reference
}
