// A recording stand-in for the update component behind the dialogs: it keeps
// what the dialogs told it, in order, and a real event for the wizard's wait.
#pragma once

#include <windows.h>

#include <string>

#include "nxNovexDialogHost.h"
#include "nxUtils.h"

struct FakeDialogHost : TnxNovexDialogHost {
  TWizardLook look;
  AnsiString username, password;
  std::string calls;  // "credentials", "abort", "signal", in the order they came
  HANDLE waitEvent = nullptr;

  TWizardLook WizardLook() const override { return look; }
  void AbortUpgrade() override { Record("abort"); }
  void SignalWaitEvent() override {
    Record("signal");
    SignalEvent(waitEvent);
  }
  AnsiString HTTPUsername() const override { return username; }
  void SetHTTPCredentials(const AnsiString& user, const AnsiString& pass) override {
    Record("credentials");
    username = user;
    password = pass;
  }

 private:
  void Record(const char* call) {
    if (!calls.empty()) calls += ",";
    calls += call;
  }
};
