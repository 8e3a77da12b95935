// The self-update component: fetches the update information file, compares
// versions, asks, downloads the new files next to their destinations and
// hands them to the replacement helper, which installs them once the program
// has ended.
#pragma once

#include <memory>

#include "HiddenWindow.h"
#include "nxNovexDialogHost.h"
#include "nxHTTP.h"
#include "nxNovexMessages.h"
#include "nxUtils.h"

enum TqdUpgradeMethod : std::uint8_t { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum TqdMiscFilesUpgradeBehavior : std::uint8_t { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };

enum TnxNovexShowMessage : std::uint8_t {
  mAskUpgrade,
  mConnLost,
  mHostUnreachable,
  mLostFile,
  mNoInfoFile,
  mNoUpdateAvailable,
  mPasswordRequest
};
using TnxNovexShowMessages = TnxSet<TnxNovexShowMessage, std::uint8_t>;
constexpr TnxNovexShowMessages kDefaultShowMessages{mAskUpgrade, mConnLost, mLostFile,
                                                    mPasswordRequest};

constexpr char kDefaultRestartParams[] = "/afterupgrade";
constexpr char kTempFileSuffix[] = ".uTMP";
constexpr char kHelperFileName[] = "Upgrader4.exe";
constexpr char kQueueFileName[] = "UpgraderQueue.txt";
constexpr char kHelperResource[] = "NXUPG";

// What an update information file announces: kept with the form as a record
// of the published update; the running component never reads it.
class TnxNovexInfo : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TStringsValue Files;
  TqdUpgradeMethod UpgradeMethod = umSelfUpgrade;
  AnsiString UpgradeMsg;
};

// Settings of the progress wizard.
class TnxNovexWizard : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  bool Enabled = true;
  bool HideFileLocation = false;
  // A bitmap resource of the program for the side picture; empty keeps the wizard's own.
  AnsiString Pic118x218;
  bool StayOnTop = true;
  TnxNovexLanguage Language() const { return language_; }
  // Selects the message language of the whole process; wlAuto detects it.
  void SetLanguage(TnxNovexLanguage value) { AssignLanguage(language_, value); }

 private:
  TnxNovexLanguage language_ = wlAuto;
};

using TNXBeginUpgradeEvent =
    TEvent<TObject*, const AnsiString&, TqdUpgradeMethod, TnxStringList*, bool&>;
using TNXEndUpgradeEvent = TEvent<TObject*, bool&>;
using TNXProgressEvent =
    TEvent<TObject*, const AnsiString&, int, int, int, int, std::uint8_t, std::uint8_t, float>;
using TNXFileStartEvent = TEvent<TObject*, const AnsiString&, int, TDateTime, bool&>;
using TNXFileDoneEvent = TEvent<TObject*, const AnsiString&>;
using TNXHostUnreachableEvent = TEvent<TObject*, const AnsiString&, const AnsiString&>;
using TNXLostFileEvent = TEvent<TObject*, const AnsiString&, int, bool&>;

class TnxNovex : public TnxCustomHTTP {
 public:
  explicit TnxNovex(TComponent* owner);
  ~TnxNovex() override;
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }
  void Loaded() override;

  // Starts a check. Wait = False returns at once; True returns when the
  // information file has been handled (without asking or downloading).
  bool CheckUpdate(bool Wait);
  // Aborts the update: stops the transfer, closes the wizard, deletes the
  // temporary files of the program folder and raises OnAborted.
  void AbortUpgrade();

  // Settings
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool value);
  int AutoCheckDelay = 10000;
  TnxCacheOptions CacheOptions = kDefaultCacheOptions;
  TnxNovexInfo* InfoFile() const { return infoFile_.get(); }
  AnsiString InfoFileURL = "http://";
  const AnsiString& RestartParams() const { return restartParams_; }
  void SetRestartParams(const AnsiString& value);
  TqdMiscFilesUpgradeBehavior MiscFilesUpgrade = mfuAlwaysDownload;
  TnxNovexVersionControl VersionControl = byDate;
  AnsiString VersionDate;
  bool VersionDateAutoSet() const { return versionDateAutoSet_; }
  void SetVersionDateAutoSet(bool value);
  AnsiString VersionNumber;
  TnxNovexShowMessages ShowMessages = kDefaultShowMessages;
  TnxNovexWizard* Wizard() const { return wizard_.get(); }

  // Events
  TNXBeginUpgradeEvent OnBeginUpgrade;
  TNXEndUpgradeEvent OnEndUpgrade;
  TNotifyEvent OnLaterUpgrade;
  TNXProgressEvent OnProgress;
  TNXFileStartEvent OnFileStart;
  TNXFileDoneEvent OnFileDone;
  TNotifyEvent OnDoOwnCloseAppMethod;
  TNotifyEvent OnAfterRestart;
  TNotifyEvent OnAborted;
  TNotifyEvent OnConnLost;
  TNXHostUnreachableEvent OnHostUnreachable;
  TNotifyEvent OnNoUpdateAvailable;
  TNotifyEvent OnNoInfoFile;
  TNXLostFileEvent OnLostFile;
  TnxHTTPPasswordRequestEvent OnPasswordRequest;

  // State the tests and the dialogs look at.
  bool IsAborted() const { return aborted_; }
  bool IsDownloadsComplete() const { return downloadsComplete_; }
  const TnxStringList& Files() const { return files_; }
  HWND TimerWindow() const { return timerWindow_ ? timerWindow_->Handle() : nullptr; }
  // Ends the wait for the completed wizard or for a waiting check.
  void SignalWaitEvent() { SignalEvent(waitEvent_); }
  void SetHTTPCredentials(const AnsiString& user, const AnsiString& password);

  // Used inside the update (not published).
  void StopTransfer();
  void DeleteTempFiles();
  void DownloadNext(bool First);
  void RestartApplication(const AnsiString& Params);
  void ApplyUpdate(const AnsiString& Params);

 protected:
  virtual bool TimerWindowProc(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  void UpdateTimer();
  // One update at a time per program folder, across the session's copies of
  // the program: taken when a check finds an update, released when it ends.
  bool TakeUpdateLock();
  void ReleaseUpdateLock();
  // Check outcome and failures (nxNovexCheck.cpp)
  void InfoFileReceived(TStream* Data);
  void TransferDone(TObject* sender, const AnsiString& contentType, int dataSize, TStream* data);
  void HTTPStatusError(TObject* sender, int statusCode, TStream* data);
  void TransferIncomplete(TObject* sender, const AnsiString& contentType, int contentLength,
                          int bytesRead, TStream* data);
  void ServerUnreachable(TObject* sender);
  void LoginRequest(TObject* sender, const AnsiString& realm, bool& tryAgain);
  // Downloads (nxNovexDownload.cpp)
  void FileStart(TObject* sender, int statusCode, const AnsiString& rawHeaders,
                 const AnsiString& contentType, const AnsiString& contentLanguage,
                 const AnsiString& contentEncoding, int contentLength, const AnsiString& location,
                 TDateTime date, TDateTime lastModified, TDateTime expires, const AnsiString& eTag,
                 bool& continueDownload);
  void Progress(TObject* sender, const AnsiString& contentType, int fileSize, int bytesRead,
                int elapsedTime, int estimatedTimeLeft, std::uint8_t percentsDone,
                float transferRate, TStream* data);
  void FileDone();
  void FileSkipped(TObject* sender);
  void LostFile(int errorCode);
  AnsiString LocalFileOf(int index);

  std::unique_ptr<THiddenWindow> timerWindow_;
  bool aborted_ = false;
  bool canUpgrade_ = false;
  bool waitingCheck_ = false;
  bool autoCheckDone_ = false;
  bool autoChecking_ = false;
  bool infoMode_ = false;
  bool downloadsComplete_ = false;
  TqdUpgradeMethod upgradeMethod_ = umSelfUpgrade;
  TnxStringList files_;
  AnsiString currentFile_;
  TDateTime currentFileTime_ = 0;
  int currentIndex_ = 0;
  HANDLE waitEvent_ = nullptr;
  unique_handle updateLock_;
  bool updating_ = false;

  bool autoCheck_ = false;
  AnsiString restartParams_ = kDefaultRestartParams;
  bool versionDateAutoSet_ = true;
  std::unique_ptr<TnxNovexInfo> infoFile_;
  std::unique_ptr<TnxNovexWizard> wizard_;

  // What the wizard and the password dialog see of the component.
  class DialogHost : public TnxNovexDialogHost {
   public:
    explicit DialogHost(TnxNovex& owner) : owner_(owner) {}
    TWizardLook WizardLook() const override;
    void AbortUpgrade() override { owner_.AbortUpgrade(); }
    void SignalWaitEvent() override { owner_.SignalWaitEvent(); }
    AnsiString HTTPUsername() const override { return owner_.HTTPUsername; }
    void SetHTTPCredentials(const AnsiString& user, const AnsiString& password) override {
      owner_.SetHTTPCredentials(user, password);
    }

   private:
    TnxNovex& owner_;
  };
  DialogHost dialogHost_{*this};
};

// Where the helper is written: the temporary folder's "Upgrader4.exe".
const AnsiString& HelperPath();
// Today's date as the version date text: MM/DD/YYYY whatever the system's separators.
AnsiString VersionDateText(TDateTime date);
