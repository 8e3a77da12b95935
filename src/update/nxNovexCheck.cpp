// What a fetched information file leads to, and the failures that end any
// transfer of the update: connection lost, host unreachable, password asked.
#include "Application.h"
#include "nxNovex.h"
#include "nxNovexPassword.h"
#include "nxNovexUpgradeMsg.h"

namespace {
constexpr unsigned kMsgNotFound = 24;
constexpr unsigned kMsgNoInfoFile = 25;
constexpr unsigned kMsgHostUnreachable = 26;
constexpr unsigned kMsgConnectionLost = 30;
}  // namespace

void TnxNovex::InfoFileReceived(TStream* Data) {
  scope_exit endWait([this] { SignalEvent(waitEvent_); });
  AnsiString text;
  if (Data) {
    text.resize(static_cast<size_t>(Data->Size() - Data->Position()));
    text.resize(static_cast<size_t>(Data->Read(text.data(), static_cast<long>(text.size()))));
  }
  ReadFileEntries(text, files_);
  bool available =
      IsNewerVersion(text, VersionControl, VersionNumber, VersionDate) && files_.Count() > 0;
  if (available && !TakeUpdateLock()) {
    // Another update of this folder is under way: go on without a word.
    OnNoUpdateAvailable(this);
    return;
  }
  if (!available) {
    OnNoUpdateAvailable(this);
    if (!autoChecking_ && ShowMessages.Contains(mNoUpdateAvailable))
      MsgBoxById(kMsgNotFound, MB_ICONINFORMATION);
    return;
  }
  canUpgrade_ = true;
  AnsiString upgradeMsg = ReadInfoKey(text, "#message", true);
  upgradeMethod_ = umSelfUpgrade;
  AnsiString method = ReadInfoKey(text, "#method", false);
  if (!method.empty() && method[0] == '1') upgradeMethod_ = umUseExternalSetup;
  if (!method.empty() && method[0] == '2') upgradeMethod_ = umRedirectToURL;
  OnBeginUpgrade(this, upgradeMsg, upgradeMethod_, &files_, canUpgrade_);
  if (waitingCheck_) {
    ReleaseUpdateLock();
    return;
  }
  if (!canUpgrade_ || (ShowMessages.Contains(mAskUpgrade) && !ShowUpgradeQuestion(upgradeMsg))) {
    ReleaseUpdateLock();
    OnLaterUpgrade(this);
    return;
  }
  if (upgradeMethod_ == umRedirectToURL) {
    ReleaseUpdateLock();
    // The whole entry is the page, a destination part included.
    if (files_.Count() > 0) OpenURL(files_[0], true);
    return;
  }
  DownloadNext(true);
}

void TnxNovex::TransferDone(TObject*, const AnsiString&, int, TStream* data) {
  if (infoMode_)
    InfoFileReceived(data);
  else
    FileDone();
}

void TnxNovex::HTTPStatusError(TObject*, int statusCode, TStream*) {
  if (!infoMode_) {
    LostFile(statusCode);
    return;
  }
  SignalEvent(waitEvent_);
  OnNoInfoFile(this);
  if (ShowMessages.Contains(mNoInfoFile)) MsgBoxById(kMsgNoInfoFile, MB_ICONERROR);
}

void TnxNovex::TransferIncomplete(TObject*, const AnsiString&, int, int, TStream*) {
  OnConnLost(this);
  if (ShowMessages.Contains(mConnLost)) MsgBoxById(kMsgConnectionLost, MB_ICONERROR);
  StopTransfer();  // the partial files stay; this is no abort
}

void TnxNovex::ServerUnreachable(TObject*) {
  OnHostUnreachable(this, URL, URLHostName());
  if (autoChecking_) {
    // The automatic check tries again later, quietly.
    autoCheckDone_ = false;
    UpdateTimer();
  } else if (ShowMessages.Contains(mHostUnreachable)) {
    MsgBox(FmtLoadMsg(kMsgHostUnreachable, {"http://" + URLHostName()}), MB_ICONERROR);
  }
  StopTransfer();
}

void TnxNovex::LoginRequest(TObject*, const AnsiString& realm, bool& tryAgain) {
  OnPasswordRequest(this, realm, tryAgain);
  if (!tryAgain && ShowMessages.Contains(mPasswordRequest)) {
    tryAgain = ShowPasswordDialog(&dialogHost_, URLFileName());
    if (!tryAgain) AbortUpgrade();
  }
}
