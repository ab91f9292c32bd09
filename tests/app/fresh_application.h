// Ending a case's application object: the forms it owned go with it and their globals
// are forgotten, so that no freed form's pointer outlives it.
#pragma once

#include <vcl/forms.h>

#include "about.h"
#include "convert.h"
#include "main.h"
#include "option.h"
#include "preview.h"
#include "shutdlg.h"

namespace apptest {

inline void ForgetForms() {
  frmMain = nullptr;
  frmOption = nullptr;
  frmPreview = nullptr;
  AboutBox = nullptr;
  frmConvert = nullptr;
  ShutDlg = nullptr;
}

// Frees the application object with its forms and leaves a fresh one with none.
inline void FreshApplication() {
  DoneApplication();
  ForgetForms();
  InitApplication();
}

}  // namespace apptest
