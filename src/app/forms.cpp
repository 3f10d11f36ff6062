// Creates the program's windows in their fixed order.
#include "app/forms.h"

namespace app {

std::unique_ptr<Forms> CreateForms(const AppContext& context) {
  auto forms = std::make_unique<Forms>();
  forms->Fmain = std::make_unique<TFmain>(context, *forms);
  // Fformixins
  // FsprPlat, FsprPlatIns
  // Fsprpoluch, FsprPoluchIns
  forms->Fnastr = std::make_unique<TFnastr>();
  forms->Fpassword = std::make_unique<TFpassword>(*forms->Fnastr->Edit1);
  // FkodBK, FsprkodBKins
  // Fformixinsnal
  forms->FormAbout = std::make_unique<TFormAbout>();
  forms->Fpechform = std::make_unique<TFpechform>(forms->Fmain.get());

  TFmain* main = forms->Fmain.get();
  forms->Fnastr->SetSaveHandler([main] { return main->WriteSettings(); });
  return forms;
}

}  // namespace app
