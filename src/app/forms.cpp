// Creates the program's windows in their fixed order.
#include "app/forms.h"

namespace app {

std::unique_ptr<Forms> CreateForms(const AppContext& context) {
  auto forms = std::make_unique<Forms>();
  forms->Fmain = std::make_unique<TFmain>(context, *forms);
  UiPrompts& prompts = *context.prompts;
  forms->Fformixins = std::make_unique<entry::TFformixins>(prompts);
  forms->FsprPlat = std::make_unique<directories::TFsprPlat>(prompts);
  forms->FsprPlatIns = std::make_unique<directories::TFsprPlatIns>(prompts);
  forms->Fsprpoluch = std::make_unique<directories::TFsprpoluch>(prompts);
  forms->FsprPoluchIns = std::make_unique<directories::TFsprPoluchIns>(prompts);
  forms->Fnastr = std::make_unique<TFnastr>();
  forms->Fpassword = std::make_unique<TFpassword>(*forms->Fnastr->Edit1);
  forms->FkodBK = std::make_unique<directories::TFkodBK>(prompts);
  forms->FsprkodBKins = std::make_unique<directories::TFsprkodBKins>(prompts);
  forms->Fformixinsnal = std::make_unique<entry::TFformixinsnal>(prompts);
  forms->FormAbout = std::make_unique<TFormAbout>();
  forms->Fpechform = std::make_unique<TFpechform>(forms->Fmain.get());

  TFmain* main = forms->Fmain.get();
  forms->Fnastr->SetSaveHandler([main] { return main->WriteSettings(); });

  // Each directory edits its entries in its own dialog and picks into the
  // register's current receipt, which both receipt dialogs edit.
  forms->FsprPlat->SetEditDialog(forms->FsprPlatIns.get());
  forms->Fsprpoluch->SetEditDialog(forms->FsprPoluchIns.get());
  forms->FkodBK->SetEditDialog(forms->FsprkodBKins.get());
  for (entry::ReceiptDialog* dialog : {static_cast<entry::ReceiptDialog*>(forms->Fformixins.get()),
                                       static_cast<entry::ReceiptDialog*>(forms->Fformixinsnal.get())}) {
    dialog->SetPayers(forms->FsprPlat.get());
    dialog->SetRecipients(forms->Fsprpoluch.get());
  }
  forms->Fformixinsnal->SetCodes(forms->FkodBK.get());
  for (directories::TFdirectory* directory :
       {static_cast<directories::TFdirectory*>(forms->FsprPlat.get()),
        static_cast<directories::TFdirectory*>(forms->Fsprpoluch.get()),
        static_cast<directories::TFdirectory*>(forms->FkodBK.get())})
    directory->SetReceipt(&main->Receipts());
  forms->Fformixins->SetSource(&main->ReceiptsSource());
  forms->Fformixinsnal->SetSource(&main->ReceiptsSource());
  forms->receiptDialogs = std::make_unique<ReceiptDialogWindows>(*forms->Fformixins, *forms->Fformixinsnal);
  main->SetReceiptDialogs(forms->receiptDialogs.get());
  return forms;
}

}  // namespace app
