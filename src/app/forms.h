// The program's windows, created once at start-up in a fixed order.
//
// Forms owns every window; they are destroyed in the reverse order of their
// creation, so a window may refer to any window created before it.  The main
// window is the first created; closing it ends the program.  Each window is
// named as in the rest of the system: the class TFxxx, its instance Fxxx.
// User-interface thread only.
#pragma once

#include <memory>

#include "app/app_context.h"
#include "app/main_window.h"
#include "app/nastr.h"
#include "app/password.h"
#include "app/pechform.h"
#include "app/u_about.h"

namespace app {

// Members in creation order (see CreateForms); the comments hold the places
// of the windows the program does not have yet.
struct Forms {
  std::unique_ptr<TFmain> Fmain;
  // Fformixins (PD-4 receipt dialog)
  // FsprPlat, FsprPlatIns (payers directory and its edit dialog)
  // Fsprpoluch, FsprPoluchIns (recipients directory and its edit dialog)
  std::unique_ptr<TFnastr> Fnastr;
  std::unique_ptr<TFpassword> Fpassword;
  // FkodBK, FsprkodBKins (budget classification codes and their edit dialog)
  // Fformixinsnal (tax receipt dialog)
  std::unique_ptr<TFormAbout> FormAbout;
  std::unique_ptr<TFpechform> Fpechform;
};

// Creates every window, hidden, in the program's order and wires them
// together.  REQUIRES: a QApplication exists; context.prompts is set.
std::unique_ptr<Forms> CreateForms(const AppContext& context);

}  // namespace app
