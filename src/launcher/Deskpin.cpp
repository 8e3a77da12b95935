// Deskpin: the desktop entry point of the Varnel web client.
#include "Application.h"
#include "ufrmMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    TfrmMain* frmMain = nullptr;
    Application().Initialize();
    Application().SetTitle(kAppTitle);
    Application().CreateForm(frmMain);
    Application().Run();
    Application().DestroyComponents();
  } catch (...) {
    Application().HandleException(std::current_exception());
  }
  return 0;
}
