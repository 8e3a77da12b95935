// Downloading the files of an update, one after the other, each next to its
// destination under a ".uTMP" name, with the wizard showing the progress.
#include "Application.h"
#include "nxNovex.h"
#include "nxNovexWizard.h"

namespace {
constexpr unsigned kMsgError = 21;
constexpr unsigned kMsgFileNotFound = 28;
constexpr int kSuffixLength = sizeof(kTempFileSuffix) - 1;
}  // namespace

AnsiString TnxNovex::LocalFileOf(int index) {
  AnsiString destination = files_.ItemValue(index);
  if (destination.empty()) return CurrentFolder() + ExtractURLFileName(files_.ItemName(index));
  AnsiString path = ExpandFolderMacros(destination, true);
  if (ExtractFilePath(path).empty()) path = CurrentFolder() + path;
  files_.SetItemValue(index, path);
  ForceFolders(path);
  return path;
}

void TnxNovex::DownloadNext(bool First) {
  if (First) {
    // Partial files of an earlier attempt must never reach the helper, which
    // moves every ".uTMP" file of the program folder.
    DeleteTempFiles();
    infoMode_ = false;
    TransferCacheOptions = CacheOptions;
    currentIndex_ = 0;
    if (wizard_->Enabled) ShowWizard(&dialogHost_);
  } else {
    ++currentIndex_;
  }

  if (currentIndex_ < files_.Count()) {
    currentFile_ = files_.ItemName(currentIndex_);
    if (nxNovexWizardForm)
      nxNovexWizardForm->ShowFileStart(currentFile_, currentIndex_ + 1, files_.Count());
    URL = currentFile_;
    currentFile_ = LocalFileOf(currentIndex_) + kTempFileSuffix;
    TargetFileName = currentFile_;
    ReleaseTransferData();
    Fetch(false);
    return;
  }

  if (nxNovexWizardForm) {
    nxNovexWizardForm->ShowCompleted();
    WaitForEvent(waitEvent_, INFINITE, true);
    if (aborted_) return;
  }
  downloadsComplete_ = true;
  bool restart = true;
  OnEndUpgrade(this, restart);
  if (restart)
    RestartApplication("");  // the lock stays until the program has ended
  else
    ReleaseUpdateLock();
}

void TnxNovex::FileStart(TObject*, int, const AnsiString&, const AnsiString&, const AnsiString&,
                         const AnsiString&, int contentLength, const AnsiString&, TDateTime,
                         TDateTime lastModified, TDateTime, const AnsiString&,
                         bool& continueDownload) {
  if (infoMode_) return;
  currentFileTime_ = lastModified;
  if (nxNovexWizardForm) nxNovexWizardForm->ShowFileSize(contentLength);
  if (MiscFilesUpgrade == mfuOnlyIfSizeDifferent && contentLength != 0 && files_.Count() > 1) {
    AnsiString finalPath = currentFile_.substr(0, currentFile_.size() - kSuffixLength);
    // The program's own file is always fetched: it is what the update is for.
    if (UpperCase(ExtractFileName(finalPath)) != UpperCase(ExtractFileName(ExeFileName())) &&
        FileExists(finalPath))
      continueDownload = std::int64_t(contentLength) != GetFileSize64(finalPath);
  }
  OnFileStart(this, URL, contentLength, currentFileTime_, continueDownload);
}

void TnxNovex::Progress(TObject*, const AnsiString&, int fileSize, int bytesRead, int elapsedTime,
                        int estimatedTimeLeft, std::uint8_t percentsDone, float transferRate,
                        TStream*) {
  if (infoMode_) return;
  int count = files_.Count() > 0 ? files_.Count() : 1;
  auto totalPercentsDone =
      static_cast<std::uint8_t>(percentsDone / count + PercentOf(count, currentIndex_));
  OnProgress(this, URL, fileSize, bytesRead, elapsedTime, estimatedTimeLeft, percentsDone,
             totalPercentsDone, transferRate);
  if (nxNovexWizardForm)
    nxNovexWizardForm->ShowProgress(percentsDone, totalPercentsDone, transferRate,
                                    estimatedTimeLeft);
}

void TnxNovex::FileDone() {
  if (currentFileTime_ != 0) SetFileTimes(currentFile_, -1, currentFileTime_, currentFileTime_);
  OnFileDone(this, currentFile_);
  DownloadNext(false);
}

void TnxNovex::FileSkipped(TObject*) {
  DownloadNext(false);
}

void TnxNovex::LostFile(int errorCode) {
  bool continueUpgrade = false;
  OnLostFile(this, URL, errorCode, continueUpgrade);
  if (ShowMessages.Contains(mLostFile))
    continueUpgrade =
        Application().MessageBox(FmtLoadMsg(kMsgFileNotFound, {URLFileName()}),
                                 LoadMsg(kMsgError) + " #" + IntToStr(errorCode),
                                 MB_YESNO | MB_ICONEXCLAMATION | MB_SYSTEMMODAL) == IDYES;
  if (continueUpgrade)
    DownloadNext(false);
  else
    AbortUpgrade();
}
