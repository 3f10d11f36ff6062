// Any bytes read as a payment code's payload: no crash and no undefined
// behaviour, and a payload the reader accepts always carries the required
// requisites and makes a receipt.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/payment_qr_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const receipts::QrReadResult read = receipts::ReadQrPayload(bytes);
  if (!read.ok()) {
    if (read.message.empty()) std::abort();
    return 0;
  }
  for (std::string_view key : receipts::RequiredQrKeys()) {
    if (!read.payload.Value(key)) std::abort();
  }
  const receipts::QrReceipt receipt = receipts::ReceiptOfQr(read.payload);
  if (receipt.summa.value < 0 || receipt.Text("SchetPoluch").size() != 20) std::abort();
  return 0;
}
