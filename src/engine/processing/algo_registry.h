// The two process-wide registries of stored-data algorithms: compression
// classes and encryption classes, each a list of (name, class).  A database
// file names its algorithms in its data-processing block ("ZLIB"; "Blowfish",
// "Twofish", "Gost"), and the managers look those names up here without
// regard to letter case.
//
// A "class" is its class name and a factory.  The engine's own algorithms are
// registered once, on first use of either registry (thread-safe), so a lookup
// never sees an empty registry.  Registration and lookup are guarded by a
// mutex and may be called from any thread; the registries live until the
// process ends.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/processing/compress_algo.h"
#include "engine/processing/encrypt_algo.h"

namespace tdb {

struct TCompressAlgoClass {
  std::string_view class_name;                // "TCompAlgo_Zlib"
  std::unique_ptr<TCompressAlgo> (*create)();  // a new object of the class
};

struct TEncryptAlgoClass {
  std::string_view class_name;               // "TEncAlgo_Blowfish"
  std::unique_ptr<TEncryptAlgo> (*create)();
};

// Adds the class under `name`.  A class already registered (same class name)
// keeps its place and takes the new name instead.
void RegisterCompressClass(const TCompressAlgoClass& cls, std::string_view name);
void RegisterEncryptClass(const TEncryptAlgoClass& cls, std::string_view name);

// The position of `name` in its registry (letter case ignored), or -1.
int FindCompressClass(std::string_view name);
int FindEncryptClass(std::string_view name);

// The class at a position FindXxxClass answered; nothing when out of range.
std::optional<TCompressAlgoClass> CompressClassAt(int index);
std::optional<TEncryptAlgoClass> EncryptClassAt(int index);
// The name the class at that position is registered under.
std::optional<std::string> CompressNameAt(int index);
std::optional<std::string> EncryptNameAt(int index);

// Registers "ZLIB", "Blowfish", "Twofish" and "Gost".  Runs its work once per
// process however often and from whichever threads it is called; every
// function above calls it first.
void RegisterStandardAlgorithms();

}  // namespace tdb
