// The program's one form: never shown, it carries the update component and
// the timer that ends the program, and tidies the desktop when it is created.
#pragma once

#include "Forms.h"
#include "Timer.h"
#include "nxNovex.h"

class TfrmMain : public TForm {
 public:
  explicit TfrmMain(TComponent* owner);
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassInfo() const override { return StaticClass(); }

  TnxNovex* nxNovex = nullptr;
  TTimer* Timer = nullptr;

  void FormCreate(TObject* sender);
  void TimerTimer(TObject* sender);
};

// The application title; the desktop link is named after it. Code page 936.
extern const char kAppTitle[];
// The desktop file of older versions, removed at every start.
extern const char kLegacyLinkFileName[];
// The web client, opened in the default browser at every start.
extern const char kWebClientURL[];

// Writes a shell link to TargetPath named LinkName (default: the target's file
// name without extension) into the special folder FolderId, or into Folder when
// FolderId is negative (-1 with an empty Folder: the desktop). Returns True
// only when the link file was saved. A shell object that cannot be created
// raises EOleSysError or EIntfCastError.
bool CreateShellLink(const AnsiString& TargetPath, AnsiString LinkName, const AnsiString& Folder,
                     int FolderId);
// The user's desktop folder with one trailing backslash; empty when the shell
// cannot tell.
AnsiString GetDesktopFolder();
// Deletes FileName when it names an existing file; failures are silent.
void DeleteFileIfExists(const AnsiString& FileName);
