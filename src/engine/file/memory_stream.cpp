// The in-process medium of databases opened as mtMemory, and its registry.
#include "engine/file/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

#include "engine/base/database_error.h"

namespace tdb {
namespace {

struct Registry {
  std::mutex mutex;
  TMemoryStreamHandle last = 0;
  std::map<TMemoryStreamHandle, std::shared_ptr<TMemoryStream>> streams;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

size_t TMemoryStream::ReadAt(int64_t pos, uint8_t* dst, size_t n) const {
  if (pos < 0 || pos >= Size()) return 0;
  size_t available = std::min(n, bytes_.size() - static_cast<size_t>(pos));
  if (available) std::memcpy(dst, bytes_.data() + pos, available);
  return available;
}

void TMemoryStream::WriteAt(int64_t pos, const uint8_t* src, size_t n) {
  if (pos < 0 || static_cast<uint64_t>(pos) > std::numeric_limits<size_t>::max() - n)
    DatabaseError("Cannot write to memory stream");
  size_t end = static_cast<size_t>(pos) + n;
  ++writes_;
  if (end > bytes_.size()) bytes_.resize(end, 0);
  // An empty write may come with no buffer at all (a record of no fields).
  if (n) std::memcpy(bytes_.data() + pos, src, n);
}

TMemoryStreamHandle RegisterMemoryStream(std::shared_ptr<TMemoryStream> stream) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.mutex);
  TMemoryStreamHandle handle = ++r.last;
  r.streams.emplace(handle, std::move(stream));
  return handle;
}

void UnregisterMemoryStream(TMemoryStreamHandle handle) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.mutex);
  r.streams.erase(handle);
}

std::string MemoryDatabaseName(TMemoryStreamHandle handle) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  do {
    hex.insert(hex.begin(), kDigits[handle & 0xF]);
    handle >>= 4;
  } while (handle != 0);
  return ":" + hex;
}

std::shared_ptr<TMemoryStream> FindMemoryStream(std::string_view name) {
  auto invalid = [&] { DatabaseError(Format("Invalid database name '%s'", {name})); };
  if (name.size() < 2 || name[0] != ':') invalid();
  TMemoryStreamHandle handle = 0;
  for (char c : name.substr(1)) {
    int d = HexDigit(c);
    if (d < 0 || handle > (std::numeric_limits<TMemoryStreamHandle>::max() >> 4)) invalid();
    handle = (handle << 4) | static_cast<TMemoryStreamHandle>(d);
  }
  Registry& r = TheRegistry();
  std::lock_guard guard(r.mutex);
  auto it = r.streams.find(handle);
  if (it == r.streams.end()) invalid();
  return it->second;
}

}  // namespace tdb
