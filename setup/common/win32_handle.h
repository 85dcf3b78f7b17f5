#pragma once
// RAII wrappers for Win32 handles: the traits say what "empty" is and how to close.
#include <windows.h>
#include <wincrypt.h>

#include <utility>

#include "common/crypt32_calls.h"

namespace tf {

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T h) : h_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, Traits::Invalid());
    }
    return *this;
  }

  T Get() const { return h_; }
  bool Valid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  T Release() { return std::exchange(h_, Traits::Invalid()); }
  void Reset(T h = Traits::Invalid()) {
    if (Valid()) Traits::Close(h_);
    h_ = h;
  }
  // For APIs that return the handle through an out-parameter.
  T* Put() {
    Reset();
    return &h_;
  }

 private:
  T h_ = Traits::Invalid();
};

struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};

struct MappedViewTraits {
  static const void* Invalid() { return nullptr; }
  static void Close(const void* view) { UnmapViewOfFile(view); }
};

// CryptoAPI: providers, hashes, keys, certificate stores and certificates.
struct CryptProvTraits {
  static HCRYPTPROV Invalid() { return 0; }
  static void Close(HCRYPTPROV h) { CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  static HCRYPTHASH Invalid() { return 0; }
  static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};
struct CryptKeyTraits {
  static HCRYPTKEY Invalid() { return 0; }
  static void Close(HCRYPTKEY h) { CryptDestroyKey(h); }
};
struct CertStoreTraits {
  static HCERTSTORE Invalid() { return nullptr; }
  static void Close(HCERTSTORE h) { Crypt32().CertCloseStore(h, 0); }
};
struct CertContextTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static void Close(PCCERT_CONTEXT h) { Crypt32().CertFreeCertificateContext(h); }
};

using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;      // CreateFileW
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;  // processes, threads, events
using UniqueFind = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueMappedView = UniqueHandle<const void*, MappedViewTraits>;  // MapViewOfFile
using UniqueCryptProv = UniqueHandle<HCRYPTPROV, CryptProvTraits>;  // link advapi32
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptHashTraits>;
using UniqueCryptKey = UniqueHandle<HCRYPTKEY, CryptKeyTraits>;
using UniqueCertStore = UniqueHandle<HCERTSTORE, CertStoreTraits>;  // closed through Crypt32()
using UniqueCertContext = UniqueHandle<PCCERT_CONTEXT, CertContextTraits>;

}  // namespace tf
