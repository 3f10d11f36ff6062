// The choice of the program's home.
#include "home/data_location.h"

namespace home {

std::shared_ptr<const receipts::DataHome> OpenHome(const DataLocation& location,
                                                   server::ServerHome::PasswordAsk ask) {
  if (!location.OnServer()) {
    // The folder home lives as long as the program: shared without owning it.
    return std::shared_ptr<const receipts::DataHome>(&receipts::FolderHome(), [](const receipts::DataHome*) {});
  }
  return std::make_shared<server::ServerHome>(location.server, std::move(ask));
}

}  // namespace home
