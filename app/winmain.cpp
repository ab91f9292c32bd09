#include "winmain.h"

#include <com/com.h>
#include <vcl/forms.h>
#include <vcl/winuser.h>

#include "about.h"
#include "convert.h"
#include "cvtthread.h"
#include "interface.h"
#include "main.h"
#include "option.h"
#include "preview.h"
#include "shutdlg.h"
#include "mylabel.h"
#include "suipopupmenu.h"
#include "transbtn.h"

int RunGuarded(const std::function<void()>& steps) {
  try {
    steps();
  } catch (const Exception& e) {
    Application->ShowException(e);
  } catch (...) {
    // Not a library exception: shown as one without a message.
    try {
      throw Exception("");
    } catch (const Exception& e) {
      Application->ShowException(e);
    }
  }
  return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunGuarded([] {
    CoInitialize(nullptr);  // this thread stays a single-threaded apartment
    Application->Initialize();
    Application->SetTitle("Korvex Quillmere");
    CreateForms();
    Application->Run();
  });
}

void EndOnSignal(int) {
  // Nobody may be there to answer (a logout, a closed terminal): no box may hold the
  // ending up, neither one open now nor the error of a run cut short.
  SetMessageBoxesUnattended(true);
  if (!Application) return;  // the forms are gone: the program is ending anyway
  // While the application frees its forms the pointer may outlive the window.
  for (int i = 0; i < Application->ComponentCount(); ++i)
    if (frmConvert && Application->Components(i) == frmConvert) frmConvert->RequestStop();
  Application->Terminate();
}

void CreateForms() {
  Application->CreateForm(frmMain);
  Application->CreateForm(frmOption);
  Application->CreateForm(frmPreview);
  Application->CreateForm(AboutBox);
  Application->CreateForm(frmConvert);
  Application->CreateForm(ShutDlg);
}

namespace {

struct UnitRoutines {
  void (*init)();
  void (*fini)();
};

const UnitRoutines kUnits[] = {
    {Interface_Initialization, Interface_Finalization},
    {Main_Initialization, Main_Finalization},
    {Preview_Initialization, Preview_Finalization},
    {Option_Initialization, Option_Finalization},
    {Convert_Initialization, Convert_Finalization},
    {Cvtthread_Initialization, Cvtthread_Finalization},
    {Mylabel_Initialization, Mylabel_Finalization},
    {Transbtn_Initialization, Transbtn_Finalization},
    {Suipopupmenu_Initialization, Suipopupmenu_Finalization},
};

}  // namespace

void InitializeUnits() {
  for (const UnitRoutines& u : kUnits) u.init();
}

void FinalizeUnits() {
  for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it) it->fini();
}
