// The process-wide registries of compression and encryption classes.
#include "engine/processing/algo_registry.h"

#include "engine/base/ascii.h"

#include <mutex>
#include <vector>

#include "engine/processing/compress_zlib.h"

namespace tdb {
namespace {

template <class Class>
class TRegistry {
 public:
  void Add(const Class& cls, std::string_view name) {
    std::lock_guard lock(mutex_);
    for (auto& entry : entries_)
      if (entry.cls.class_name == cls.class_name) {
        entry.name = std::string(name);
        entry.cls = cls;
        return;
      }
    entries_.push_back({std::string(name), cls});
  }

  int Find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i)
      if (SameAsciiIgnoringCase(entries_[i].name, name)) return static_cast<int>(i);
    return -1;
  }

  std::optional<Class> At(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return std::nullopt;
    return entries_[static_cast<size_t>(index)].cls;
  }

  std::optional<std::string> NameAt(int index) const {
    std::lock_guard lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return std::nullopt;
    return entries_[static_cast<size_t>(index)].name;
  }

 private:
  struct Entry {
    std::string name;
    Class cls;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;  // in registration order
};

TRegistry<TCompressAlgoClass>& CompressRegistry() {
  static TRegistry<TCompressAlgoClass> registry;
  return registry;
}

TRegistry<TEncryptAlgoClass>& EncryptRegistry() {
  static TRegistry<TEncryptAlgoClass> registry;
  return registry;
}

template <class Algo, class Base>
std::unique_ptr<Base> Create() {
  return std::make_unique<Algo>();
}

}  // namespace

void RegisterStandardAlgorithms() {
  static std::once_flag once;
  std::call_once(once, [] {
    CompressRegistry().Add({TCompAlgo_Zlib::kClassName, &Create<TCompAlgo_Zlib, TCompressAlgo>}, "ZLIB");
    EncryptRegistry().Add({TEncAlgo_Blowfish::kClassName, &Create<TEncAlgo_Blowfish, TEncryptAlgo>}, "Blowfish");
    EncryptRegistry().Add({TEncAlgo_Twofish::kClassName, &Create<TEncAlgo_Twofish, TEncryptAlgo>}, "Twofish");
    EncryptRegistry().Add({TEncAlgo_Gost::kClassName, &Create<TEncAlgo_Gost, TEncryptAlgo>}, "Gost");
  });
}

void RegisterCompressClass(const TCompressAlgoClass& cls, std::string_view name) {
  RegisterStandardAlgorithms();
  CompressRegistry().Add(cls, name);
}

void RegisterEncryptClass(const TEncryptAlgoClass& cls, std::string_view name) {
  RegisterStandardAlgorithms();
  EncryptRegistry().Add(cls, name);
}

int FindCompressClass(std::string_view name) {
  RegisterStandardAlgorithms();
  return CompressRegistry().Find(name);
}

int FindEncryptClass(std::string_view name) {
  RegisterStandardAlgorithms();
  return EncryptRegistry().Find(name);
}

std::optional<TCompressAlgoClass> CompressClassAt(int index) {
  RegisterStandardAlgorithms();
  return CompressRegistry().At(index);
}

std::optional<TEncryptAlgoClass> EncryptClassAt(int index) {
  RegisterStandardAlgorithms();
  return EncryptRegistry().At(index);
}

std::optional<std::string> CompressNameAt(int index) {
  RegisterStandardAlgorithms();
  return CompressRegistry().NameAt(index);
}

std::optional<std::string> EncryptNameAt(int index) {
  RegisterStandardAlgorithms();
  return EncryptRegistry().NameAt(index);
}

}  // namespace tdb
