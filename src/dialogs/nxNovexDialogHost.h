// What the progress wizard and the password dialog need of the update
// component that opens them. The component implements it; the dialogs hold
// a plain reference and never own it.
#pragma once

#include "SysUtils.h"

class TnxNovexDialogHost {
 public:
  // The wizard settings that the dialogs read.
  struct TWizardLook {
    bool StayOnTop = true;
    bool HideFileLocation = false;
    // A bitmap resource of the program for the side picture, shown stretched
    // to 118 x 218; empty (or no such bitmap) keeps the built-in picture.
    AnsiString Pic118x218;
  };

  virtual TWizardLook WizardLook() const = 0;
  // Stops the update for good: the user declined to go on.
  virtual void AbortUpgrade() = 0;
  // Ends the component's message-pumping wait for the wizard.
  virtual void SignalWaitEvent() = 0;
  virtual AnsiString HTTPUsername() const = 0;
  // Stores what the user entered, for the next try of the request.
  virtual void SetHTTPCredentials(const AnsiString& username, const AnsiString& password) = 0;

 protected:
  ~TnxNovexDialogHost() = default;
};
