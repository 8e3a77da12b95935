// The update component: settings, construction, the automatic check, the
// check entry point, stopping and aborting.
#include "nxNovex.h"

#include "Application.h"
#include "nxNovexWizard.h"

namespace {

constexpr UINT_PTR kCheckTimer = 1;
const std::vector<const char*> kShowMessageNames = {
    "mAskUpgrade", "mConnLost",          "mHostUnreachable", "mLostFile",
    "mNoInfoFile", "mNoUpdateAvailable", "mPasswordRequest"};
const std::vector<const char*> kLanguageNames = {"wlAuto",
                                                 "wlEnglish",
                                                 "wlRussian",
                                                 "wlGerman",
                                                 "wlFrench",
                                                 "wlSpanish",
                                                 "wlPortuguese",
                                                 "wlPortugueseBrazilian",
                                                 "wlItalian",
                                                 "wlDutch",
                                                 "wlDanish",
                                                 "wlSwedish",
                                                 "wlFinnish",
                                                 "wlEstonian",
                                                 "wlUkrainian",
                                                 "wlPolish",
                                                 "wlCzech",
                                                 "wlHungarian",
                                                 "wlRomanian",
                                                 "wlCatalan",
                                                 "wlBasque",
                                                 "wlAfrikaans",
                                                 "wlChineseTraditional",
                                                 "wlChineseSimplified",
                                                 "wlIndonesian",
                                                 "wlMalay",
                                                 "wlIcelandic",
                                                 "wlTurkish",
                                                 "wlNorwegian",
                                                 "wlSlovak"};
const std::vector<const char*> kCacheOptionNames = {
    "coAlwaysReload", "coReloadIfNoExpireInformation", "coReloadUpdatedObjects", "coPragmaNoCache",
    "coNoCacheWrite", "coCreateTempFilesIfCantCache",  "coUseCacheIfNetFail"};

class EOutOfResources : public Exception {
 public:
  using Exception::Exception;
};

// The first argument of the program's command line, as the shell splits it.
AnsiString FirstArgument() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  AnsiString arg;
  bool quoted = false;
  for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
    if (*p == '"')
      quoted = !quoted;
    else
      arg += *p;
  }
  return arg;
}

}  // namespace

const AnsiString& HelperPath() {
  static const AnsiString path = GetTempFolder() + kHelperFileName;
  return path;
}

namespace {

// The helper runs from its file until it has put an update's files in place,
// and waits for every copy of the program to end before it does.
bool HelperRunning() {
  unique_handle file(CreateFileA(HelperPath().c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

AnsiString VersionDateText(TDateTime date) {
  TDateTimeParts parts{};
  DecodeDateTime(date, parts);
  char text[16];
  wsprintfA(text, "%02d/%02d/%04d", parts.Month, parts.Day, parts.Year);
  return text;
}

// ---- settings sub-objects

const TClassInfo& TnxNovexInfo::StaticClass() {
  using P = Props<TnxNovexInfo>;
  static const TClassInfo info{
      "TnxNovexInfo",
      &TPersistent::StaticClass(),
      {P::StringsField("Files", &TnxNovexInfo::Files),
       P::EnumField("UpgradeMethod", &TnxNovexInfo::UpgradeMethod,
                    {"umSelfUpgrade", "umUseExternalSetup", "umRedirectToURL"}, umSelfUpgrade),
       P::StrField("UpgradeMsg", &TnxNovexInfo::UpgradeMsg)},
      {},
      {}};
  return info;
}

const TClassInfo& TnxNovexWizard::StaticClass() {
  using P = Props<TnxNovexWizard>;
  static const TClassInfo info{
      "TnxNovexWizard",
      &TPersistent::StaticClass(),
      {P::BoolField("Enabled", &TnxNovexWizard::Enabled, true),
       P::BoolField("HideFileLocation", &TnxNovexWizard::HideFileLocation, false),
       P::StrField("Pic118x218", &TnxNovexWizard::Pic118x218),
       P::Enum<TnxNovexLanguage>(
           "Language", [](const TnxNovexWizard& w) { return w.Language(); },
           [](TnxNovexWizard& w, TnxNovexLanguage v) { w.SetLanguage(v); }, kLanguageNames, wlAuto),
       P::BoolField("StayOnTop", &TnxNovexWizard::StayOnTop, true)},
      {},
      {}};
  return info;
}

// ---- the component

const TClassInfo& TnxNovex::StaticClass() {
  using P = Props<TnxNovex>;
  static const TClassInfo info{
      "TnxNovex",
      &TnxCustomHTTP::StaticClass(),
      {P::StoredWhen(P::StrField("HTTPUsername", &TnxNovex::HTTPUsername),
                     [](const TnxNovex&) { return false; }),
       P::StoredWhen(P::StrField("HTTPPassword", &TnxNovex::HTTPPassword),
                     [](const TnxNovex&) { return false; }),
       Props<TnxCustomHTTP>::Event("OnProxyAuthenticationRequest",
                                   &TnxCustomHTTP::OnProxyAuthenticationRequest),
       P::Bool(
           "AutoCheck", [](const TnxNovex& n) { return n.AutoCheck(); },
           [](TnxNovex& n, bool v) { n.SetAutoCheck(v); }, false),
       P::IntField("AutoCheckDelay", &TnxNovex::AutoCheckDelay, 10000),
       P::Set(
           "CacheOptions", [](const TnxNovex& n) { return n.CacheOptions.Bits(); },
           [](TnxNovex& n, unsigned v) { n.CacheOptions = TnxCacheOptions::FromBits(v); },
           kCacheOptionNames, kDefaultCacheOptions.Bits()),
       P::Object("InfoFile", [](TnxNovex& n) { return n.InfoFile(); }),
       P::StoredWhen(P::StrField("InfoFileURL", &TnxNovex::InfoFileURL),
                     [](const TnxNovex&) { return true; }),
       P::StoredWhen(P::Str(
                         "RestartParams", [](const TnxNovex& n) { return n.RestartParams(); },
                         [](TnxNovex& n, const std::string& v) { n.SetRestartParams(v); }),
                     [](const TnxNovex& n) { return n.RestartParams() != kDefaultRestartParams; }),
       P::EnumField("MiscFilesUpgrade", &TnxNovex::MiscFilesUpgrade,
                    {"mfuAlwaysDownload", "mfuOnlyIfSizeDifferent"}, mfuAlwaysDownload),
       P::EnumField("VersionControl", &TnxNovex::VersionControl, {"byDate", "byNumber"}, byDate),
       P::StoredWhen(P::StrField("VersionDate", &TnxNovex::VersionDate),
                     [](const TnxNovex&) { return true; }),
       P::StoredWhen(
           P::Bool(
               "VersionDateAutoSet", [](const TnxNovex& n) { return n.VersionDateAutoSet(); },
               [](TnxNovex& n, bool v) { n.SetVersionDateAutoSet(v); }),
           [](const TnxNovex&) { return true; }),
       P::StrField("VersionNumber", &TnxNovex::VersionNumber),
       P::Set(
           "ShowMessages", [](const TnxNovex& n) { return n.ShowMessages.Bits(); },
           [](TnxNovex& n, unsigned v) { n.ShowMessages = TnxNovexShowMessages::FromBits(v); },
           kShowMessageNames, kDefaultShowMessages.Bits()),
       P::Object("Wizard", [](TnxNovex& n) { return n.Wizard(); }),
       P::Event("OnBeginUpgrade", &TnxNovex::OnBeginUpgrade),
       P::Event("OnEndUpgrade", &TnxNovex::OnEndUpgrade),
       P::Event("OnLaterUpgrade", &TnxNovex::OnLaterUpgrade),
       P::Event("OnProgress", &TnxNovex::OnProgress),
       P::Event("OnFileStart", &TnxNovex::OnFileStart),
       P::Event("OnFileDone", &TnxNovex::OnFileDone),
       P::Event("OnDoOwnCloseAppMethod", &TnxNovex::OnDoOwnCloseAppMethod),
       P::Event("OnAfterRestart", &TnxNovex::OnAfterRestart),
       P::Event("OnAborted", &TnxNovex::OnAborted),
       P::Event("OnConnLost", &TnxNovex::OnConnLost),
       P::Event("OnHostUnreachable", &TnxNovex::OnHostUnreachable),
       P::Event("OnNoUpdateAvailable", &TnxNovex::OnNoUpdateAvailable),
       P::Event("OnNoInfoFile", &TnxNovex::OnNoInfoFile),
       P::Event("OnLostFile", &TnxNovex::OnLostFile),
       P::Event("OnPasswordRequest", &TnxNovex::OnPasswordRequest)},
      {},
      {}};
  return info;
}

TnxNovex::TnxNovex(TComponent* owner) : TnxCustomHTTP(owner) {
  // Downloads stay hidden and temporary until the helper moves them into place.
  TargetFileAttributes()->SetIncomplete({atrHidden, atrTemporary});
  TargetFileAttributes()->SetComplete({atrArchive, atrHidden, atrTemporary});

  OnResponseHeaders = [this](TObject* s, int status, const AnsiString& raw, const AnsiString& type,
                             const AnsiString& language, const AnsiString& encoding, int length,
                             const AnsiString& location, TDateTime date, TDateTime modified,
                             TDateTime expires, const AnsiString& eTag, bool& go) {
    FileStart(s, status, raw, type, language, encoding, length, location, date, modified, expires,
              eTag, go);
  };
  OnTransferDone = [this](TObject* s, const AnsiString& type, int size, TStream* data) {
    TransferDone(s, type, size, data);
  };
  OnTransferSkipped = [this](TObject* s) { FileSkipped(s); };
  OnTransferProgress = [this](TObject* s, const AnsiString& type, int size, int read, int elapsed,
                              int left, std::uint8_t percents, float rate, TStream* data) {
    Progress(s, type, size, read, elapsed, left, percents, rate, data);
  };
  OnTransferIncomplete = [this](TObject* s, const AnsiString& type, int length, int read,
                                TStream* data) { TransferIncomplete(s, type, length, read, data); };
  OnHTTPStatusError = [this](TObject* s, int status, TStream* data) {
    HTTPStatusError(s, status, data);
  };
  OnServerUnreachable = [this](TObject* s) { ServerUnreachable(s); };
  OnLoginRequest = [this](TObject* s, const AnsiString& realm, bool& tryAgain) {
    LoginRequest(s, realm, tryAgain);
  };
  // Every outcome ends a waiting check, also those the update does not act on.
  auto endWait = [this](TObject*) { SignalEvent(waitEvent_); };
  OnTransferFailed = endWait;
  OnTransferAborted = endWait;
  OnNoDataStream = [this](TObject*) {
    SignalEvent(waitEvent_);
    // A download whose file cannot be created is a file that cannot be had.
    if (!infoMode_) LostFile(StatusCode());
  };

  DeleteFileA(HelperPath().c_str());  // left by an earlier update

  infoFile_ = std::make_unique<TnxNovexInfo>();
  VersionDate = VersionDateText(Date());
  wizard_ = std::make_unique<TnxNovexWizard>();
  timerWindow_ = std::make_unique<THiddenWindow>(
      [this](UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return TimerWindowProc(msg, wParam, lParam, result);
      });
}

TnxNovex::~TnxNovex() {
  Destroying();
  SetAutoCheck(false);
  timerWindow_.reset();
  // The wizard refers to the component: it goes first.
  if (nxNovexWizardForm) DestroyWizard();
  ReleaseUpdateLock();
}

void TnxNovex::Loaded() {
  TnxCustomHTTP::Loaded();
  if (OnAfterRestart && FirstArgument() == restartParams_) OnAfterRestart(this);
}

void TnxNovex::SetAutoCheck(bool value) {
  if (autoCheck_ == value) return;
  autoCheck_ = value;
  UpdateTimer();
}

void TnxNovex::SetRestartParams(const AnsiString& value) {
  if (value == restartParams_) return;
  restartParams_ = value.empty() ? AnsiString(" ") : value;
}

void TnxNovex::SetVersionDateAutoSet(bool value) {
  versionDateAutoSet_ = value;
  if (value && IsDesigning()) VersionDate = VersionDateText(Date());
}

TnxNovexDialogHost::TWizardLook TnxNovex::DialogHost::WizardLook() const {
  TWizardLook look;
  look.StayOnTop = owner_.Wizard()->StayOnTop;
  look.HideFileLocation = owner_.Wizard()->HideFileLocation;
  look.Pic118x218 = owner_.Wizard()->Pic118x218;
  return look;
}

void TnxNovex::SetHTTPCredentials(const AnsiString& user, const AnsiString& password) {
  HTTPUsername = user;
  HTTPPassword = password;
}

void TnxNovex::UpdateTimer() {
  if (IsDesigning() || !timerWindow_) return;
  KillTimer(timerWindow_->Handle(), kCheckTimer);
  if (autoCheck_ && !autoCheckDone_ && AutoCheckDelay > 0)
    if (!SetTimer(timerWindow_->Handle(), kCheckTimer, static_cast<UINT>(AutoCheckDelay), nullptr))
      throw EOutOfResources("Not enough timers available");
}

bool TnxNovex::TimerWindowProc(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != kCheckTimer) return false;
      result = 0;
      // Without a connection the timer simply fires again after the same delay.
      if (IsNetworkConnected() && autoCheck_) {
        autoCheckDone_ = true;
        UpdateTimer();
        CheckUpdate(false);
        autoChecking_ = true;
      }
      return true;
    case WM_QUERYENDSESSION:
      result = 1;
      return true;
    default:
      return false;
  }
}

bool TnxNovex::CheckUpdate(bool Wait) {
  if (Wait) waitingCheck_ = true;
  scope_exit endWaiting([this] { waitingCheck_ = false; });
  aborted_ = false;
  autoChecking_ = false;
  canUpgrade_ = false;  // a result is this check's, never one left from before
  if (!Transferring()) {
    infoMode_ = true;
    TransferCacheOptions = CacheOptions;
    TransferCacheOptions.Include(coPragmaNoCache);
    URL = InfoFileURL;
    TargetFileName.clear();
    Fetch(false);
  }
  if (Wait) WaitForEvent(waitEvent_, INFINITE, true);
  return canUpgrade_;
}

void TnxNovex::StopTransfer() {
  SignalEvent(waitEvent_);
  Abort(false, false);
  if (nxNovexWizardForm) DestroyWizard();
  ReleaseUpdateLock();
}

bool TnxNovex::TakeUpdateLock() {
  // A check that finds an update while this component is still busy with an
  // earlier one (its question open, say) leaves it alone, as another copy would.
  if (updating_) return false;
  // Nor while a helper is still to move the files another copy downloaded:
  // this update's downloads would delete or overwrite them.
  if (HelperRunning()) return false;
  // Named after the program's folder (upper case, hashed: names take no
  // backslashes), so that only copies of the same installation wait.
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : UpperCase(CurrentFolder()))
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char name[64];
  wsprintfA(name, "Local\\DeskpinUpdate.%08lX%08lX", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash));
  unique_handle mutex(CreateMutexA(nullptr, FALSE, name));
  if (mutex) {
    DWORD wait = WaitForSingleObject(mutex.get(), 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
    updateLock_ = std::move(mutex);
  }  // without a mutex to be had, update as before
  updating_ = true;
  return true;
}

void TnxNovex::ReleaseUpdateLock() {
  updating_ = false;
  if (!updateLock_) return;
  ReleaseMutex(updateLock_.get());
  updateLock_.reset();
}

void TnxNovex::AbortUpgrade() {
  aborted_ = true;
  StopTransfer();
  DeleteTempFiles();
  OnAborted(this);
}

void TnxNovex::DeleteTempFiles() {
  const AnsiString folder = CurrentFolder();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*" + kTempFileSuffix).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      DeleteFileA((folder + found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
