// GetIDsOfNames and Invoke driven by a static interface description.
#include <vector>

#include "platform/com/TypeDescription.h"

namespace platform {
namespace {

OLECHAR FoldAscii(OLECHAR c) {
  return c >= OLESTR('A') && c <= OLESTR('Z') ? static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'))
                                              : c;
}

bool SameName(const OLECHAR* a, const OLECHAR* b) {
  if (a == nullptr || b == nullptr) {
    return false;
  }
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) {
      return false;
    }
  }
  return *a == *b;
}

// Converted arguments, freed on every path.
class CArguments {
 public:
  explicit CArguments(UINT count) : m_values(count) {
    for (VARIANT& v : m_values) {
      VariantInit(&v);
    }
  }
  ~CArguments() {
    for (VARIANT& v : m_values) {
      VariantClear(&v);
    }
  }
  CArguments(const CArguments&) = delete;
  CArguments& operator=(const CArguments&) = delete;
  VARIANT* Data() { return m_values.data(); }
  VARIANT& operator[](UINT i) { return m_values[i]; }

 private:
  std::vector<VARIANT> m_values;
};

// Which rgvarg slot feeds each parameter; fails as Invoke reports it.
HRESULT MapArguments(const MemberDescription& member, const DISPPARAMS& params,
                     std::vector<int>& slots, UINT* argErr) {
  const UINT count = member.parameterCount;
  if (params.cArgs != count) {
    return DISP_E_BADPARAMCOUNT;
  }
  slots.assign(count, -1);
  const UINT positional = params.cArgs - params.cNamedArgs;
  for (UINT k = 0; k < positional; ++k) {
    slots[k] = static_cast<int>(params.cArgs - 1 - k);  // rgvarg runs backwards
  }
  for (UINT j = 0; j < params.cNamedArgs; ++j) {
    const DISPID named = params.rgdispidNamedArgs[j];
    if (named < 0 || static_cast<UINT>(named) >= count || slots[named] != -1) {
      if (argErr != nullptr) {
        *argErr = j;
      }
      return DISP_E_PARAMNOTFOUND;
    }
    slots[named] = static_cast<int>(j);
  }
  for (UINT k = 0; k < count; ++k) {
    if (slots[k] == -1) {
      return DISP_E_PARAMNOTOPTIONAL;
    }
  }
  return S_OK;
}

}  // namespace

const MemberDescription* FindMember(const InterfaceDescription& description, DISPID id) {
  for (UINT i = 0; i < description.memberCount; ++i) {
    if (description.members[i].id == id) {
      return &description.members[i];
    }
  }
  return nullptr;
}

HRESULT DispatchGetIDsOfNames(const InterfaceDescription& description, REFIID riid, LPOLESTR* names,
                              UINT count, DISPID* ids) {
  if (riid != IID_NULL) {
    return DISP_E_UNKNOWNINTERFACE;
  }
  if (count == 0) {
    return S_OK;
  }
  if (names == nullptr || ids == nullptr) {
    return E_INVALIDARG;
  }
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
  }
  const MemberDescription* member = nullptr;
  for (UINT m = 0; m < description.memberCount && member == nullptr; ++m) {
    if (SameName(description.members[m].name, names[0])) {
      member = &description.members[m];
    }
  }
  if (member == nullptr) {
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = member->id;
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    for (UINT p = 0; p < member->parameterCount; ++p) {
      if (SameName(member->parameters[p].name, names[i])) {
        ids[i] = static_cast<DISPID>(p);
        break;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) {
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

HRESULT DispatchByDescription(const InterfaceDescription& description, void* instance, DISPID id,
                              REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excepInfo, UINT* argErr) {
  if (riid != IID_NULL) {
    return DISP_E_UNKNOWNINTERFACE;
  }
  const MemberDescription* member = FindMember(description, id);
  if (member == nullptr || (flags & member->invokeKind) == 0 || member->call == nullptr) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (params == nullptr || params->cNamedArgs > params->cArgs ||
      (params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
    return E_INVALIDARG;
  }
  std::vector<int> slots;
  HRESULT hr = MapArguments(*member, *params, slots, argErr);
  if (FAILED(hr)) {
    return hr;
  }
  CArguments arguments(member->parameterCount);
  for (UINT k = 0; k < member->parameterCount; ++k) {
    hr = VariantChangeType(&arguments[k], &params->rgvarg[slots[k]], 0, member->parameters[k].type);
    if (FAILED(hr)) {
      if (argErr != nullptr) {
        *argErr = static_cast<UINT>(slots[k]);
      }
      return hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
    }
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = member->returnType;
  hr = member->call(instance, arguments.Data(), &value);
  if (FAILED(hr)) {
    VariantClear(&value);
    if (excepInfo != nullptr) {
      *excepInfo = EXCEPINFO{};
      excepInfo->scode = hr;
    }
    return DISP_E_EXCEPTION;
  }
  if (result != nullptr) {
    *result = value;  // the caller's slot holds nothing yet, as on Windows
  } else {
    VariantClear(&value);
  }
  return S_OK;
}

}  // namespace platform
