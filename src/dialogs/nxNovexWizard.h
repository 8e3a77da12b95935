// The progress window of an update's downloads: shown modeless while the
// files come in, switched to its final state when they are all there.
#pragma once

#include <cstdint>

#include "Forms.h"
#include "StdCtrls.h"
#include "nxNovexDialogHost.h"

class TnxNovexWizardForm : public TForm {
 public:
  explicit TnxNovexWizardForm(TComponent* owner);
  ~TnxNovexWizardForm() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TPanel* Panel1 = nullptr;
  TImage* Image1 = nullptr;
  TBevel* Bevel1 = nullptr;
  TLabel* WizardTitle = nullptr;
  TGroupBox* LCurrentFile = nullptr;
  TGroupBox* LAllFiles = nullptr;
  TLabel* LDownloadingFileFrom = nullptr;
  TLabel* LEstimatedTime = nullptr;
  TLabel* LTransferRate = nullptr;
  TProgressBar* ProgressCurrentFile = nullptr;
  TProgressBar* ProgressAllFiles = nullptr;
  TButton* FinishBtn = nullptr;
  TButton* CancelBtn = nullptr;
  TLabel* AllDownloading = nullptr;
  TLabel* AboutShadow = nullptr;
  TLabel* AboutLabel = nullptr;
  TEdit* FileURL = nullptr;
  TLabel* AfterNote = nullptr;
  TLabel* LFileSize = nullptr;

  // What the downloads write while the window is open.
  // A file's download starts: its address, and "Downloading n of count".
  void ShowFileStart(const AnsiString& url, int number, int count);
  // The file's size as the server reports it.
  void ShowFileSize(std::int64_t bytes);
  // Every progress report: both bars, the rate in Kb/s and the time left.
  void ShowProgress(int percentsDone, int totalPercentsDone, double transferRate,
                    int estimatedTimeLeft);

  // All files are in: the note to restart, and OK instead of Cancel.
  void ShowCompleted();

  void FormClose(TObject* sender, TCloseAction& action);
  void FinishBtnClick(TObject* sender);
  void CancelBtnClick(TObject* sender);

 protected:
  // The close box, Alt+F4, Cancel, Esc and Enter all end here and ask first.
  bool SysCommand(WPARAM command) override;

 private:
  friend void ShowWizard(TnxNovexDialogHost* component);
  void HideFileLocation();

  TnxNovexDialogHost* UpdateComponent = nullptr;
  bool fileLocationHidden_ = false;
  bool asking_ = false;
  // Set when the form is destroyed while it asks, so that it stops touching itself.
  bool* destroyedFlag_ = nullptr;
};

// The open wizard, or null.
extern TnxNovexWizardForm* nxNovexWizardForm;

// Creates the wizard for component if none is open, fills it in and shows it
// without waiting. The component must outlive the wizard, or destroy it first.
void ShowWizard(TnxNovexDialogHost* component);

// Destroys the open wizard at once, without asking and without telling its
// component: for a component that stops the update for good.
void DestroyWizard();
