// VARIANT lifetime: init, clear, copy.
#include "platform/com/Variant.h"

#include "platform/com/Dispatch.h"

namespace platform {

void VariantInit(VARIANTARG* v) {
  if (v != nullptr) {
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->dblVal = 0;
  }
}

namespace {

// The types whose value sits in the VARIANT itself: nothing to free or share.
bool HoldsItsValue(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_UI2:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT VariantClear(VARIANTARG* v) {
  if (v == nullptr) {
    return E_INVALIDARG;
  }
  if ((v->vt & VT_BYREF) == 0) {
    switch (v->vt) {
      case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (v->punkVal != nullptr) {
          v->punkVal->Release();
        }
        break;
      default:
        if (!HoldsItsValue(v->vt)) return DISP_E_BADVARTYPE;
        break;
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
  if (destination == nullptr || source == nullptr) {
    return E_INVALIDARG;
  }
  if (destination == source) {
    return S_OK;
  }
  VARIANT copy = *source;
  if ((source->vt & VT_BYREF) == 0) {
    switch (source->vt) {
      case VT_BSTR:
        if (source->bstrVal != nullptr) {
          copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
          if (copy.bstrVal == nullptr) {
            return E_OUTOFMEMORY;
          }
        }
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (source->punkVal != nullptr) {
          source->punkVal->AddRef();
        }
        break;
      default:
        if (!HoldsItsValue(source->vt)) return DISP_E_BADVARTYPE;
        break;
    }
  }
  const HRESULT cleared = VariantClear(destination);
  if (FAILED(cleared)) {
    VariantClear(&copy);
    return cleared;
  }
  *destination = copy;
  return S_OK;
}

}  // namespace platform
