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
#include "app/receipt_dialog_windows.h"
#include "app/u_about.h"
#include "directories/directory_window.h"
#include "entry/receipt_dialog.h"

namespace app {

// Members in creation order (see CreateForms).
struct Forms {
  // What the register shows its receipts in: Fformixins and Fformixinsnal.
  // First, so that it goes last, after the register that calls it.
  std::unique_ptr<ReceiptDialogWindows> receiptDialogs;
  std::unique_ptr<TFmain> Fmain;
  std::unique_ptr<entry::TFformixins> Fformixins;          // PD-4 receipt dialog
  std::unique_ptr<directories::TFsprPlat> FsprPlat;        // payers directory
  std::unique_ptr<directories::TFsprPlatIns> FsprPlatIns;  // and its edit dialog
  std::unique_ptr<directories::TFsprpoluch> Fsprpoluch;    // recipients directory
  std::unique_ptr<directories::TFsprPoluchIns> FsprPoluchIns;
  std::unique_ptr<TFnastr> Fnastr;
  std::unique_ptr<TFpassword> Fpassword;
  std::unique_ptr<directories::TFkodBK> FkodBK;  // budget classification codes
  std::unique_ptr<directories::TFsprkodBKins> FsprkodBKins;
  std::unique_ptr<entry::TFformixinsnal> Fformixinsnal;  // tax receipt dialog
  std::unique_ptr<TFormAbout> FormAbout;
  std::unique_ptr<TFpechform> Fpechform;
};

// Creates every window, hidden, in the program's order and wires them
// together.  REQUIRES: a QApplication exists; context.prompts is set.
std::unique_ptr<Forms> CreateForms(const AppContext& context);

}  // namespace app
