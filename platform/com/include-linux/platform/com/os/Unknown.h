// IUnknown and IClassFactory of the Linux layer.
//
// Interfaces are abstract classes with the Windows slot order (and the
// Windows calling-convention spelling, empty here). Objects free themselves
// when their count reaches zero, so an interface pointer is never deleted
// directly.
#pragma once

#include "platform/com/ComTypes.h"

namespace platform {

inline constexpr IID IID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
 public:
  // Stores an AddRef'd pointer for a supported interface and S_OK, or null
  // and E_NOINTERFACE; E_POINTER for a null output. Asking for IID_IUnknown
  // always yields the same pointer (the object's identity).
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

class IClassFactory : public IUnknown {
 public:
  // With an outer unknown (aggregation) the factory may only be asked for
  // IID_IUnknown, and hands back the inner, non-delegating unknown
  // (CLASS_E_NOAGGREGATION for any other interface, or when the class does
  // not support aggregation).
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  // Keeps the module loaded while locked (counts, like object references).
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::IID_IClassFactory;
using platform::IID_IUnknown;
