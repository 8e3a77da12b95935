#include "ufrmMain.h"

#include <shellapi.h>

#include "Application.h"

#ifndef DESKPIN_WEB_HOST
#error "DESKPIN_WEB_HOST must name the web client's host"
#endif

// "CorvaneVarnel - 桌面版" in code page 936.
const char kAppTitle[] = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6";
const char kLegacyLinkFileName[] = "CorvaneVarnel - \xD7\xC0\xC3\xE6\xB0\xE6.url";
const char kWebClientURL[] = "http://" DESKPIN_WEB_HOST "/v2";

const TClassInfo& TfrmMain::StaticClass() {
  using P = Props<TfrmMain>;
  static const TClassInfo info{
      "TfrmMain",
      &TForm::StaticClass(),
      {},
      {P::Field("nxNovex", &TfrmMain::nxNovex), P::Field("Timer", &TfrmMain::Timer)},
      {P::Method("FormCreate", &TfrmMain::FormCreate),
       P::Method("TimerTimer", &TfrmMain::TimerTimer)}};
  return info;
}

TfrmMain::TfrmMain(TComponent* owner) : TForm(owner) {
  InitForm();
}

void TfrmMain::FormCreate(TObject* sender) {
  // The information file is on its way before the browser starts.
  nxNovex->CheckUpdate(false);
  Application().ShowMainForm = false;
  CreateShellLink(Application().ExeName(), Application().Title(), "", -1);
  ShellExecuteA(Application().Handle(), "open", kWebClientURL, "", "", SW_SHOWMAXIMIZED);
  DeleteFileIfExists(GetDesktopFolder() + kLegacyLinkFileName);
}

void TfrmMain::TimerTimer(TObject* sender) {
  Application().Terminate();
}
