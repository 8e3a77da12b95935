// The question asked when a newer version is found: update now, or later.
#pragma once

#include "Forms.h"
#include "StdCtrls.h"

class TnxNovexUpgradeMessageForm : public TForm {
 public:
  explicit TnxNovexUpgradeMessageForm(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TPanel* BottomPanel = nullptr;
  TButton* YesBtn = nullptr;
  TButton* LaterBtn = nullptr;
  TLabel* Label1 = nullptr;
  TImage* Icon = nullptr;

  void FormClose(TObject* sender, TCloseAction& action);
  void FormShow(TObject* sender);

 protected:
  // The question stays in front of every other window.
  void CreateParams(TCreateParams& params) override;

 private:
  friend bool ShowUpgradeQuestion(const AnsiString& UpgradeMsg);
  // The window's width with its borders, also before the window exists.
  int OuterWidth();
  // Keeps the buttons' strip along the bottom of the client area.
  void AlignBottomPanel();
};

// The open question, or null; the form frees itself when it is closed.
extern TnxNovexUpgradeMessageForm* nxNovexUpgradeMessageForm;

// Asks whether to update now; UpgradeMsg (may be empty) is the update's
// message. True only when the user chose Yes: Later, Esc, the close box and
// the end of the application all answer False.
bool ShowUpgradeQuestion(const AnsiString& UpgradeMsg);
