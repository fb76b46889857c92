// ITypeLib and ITypeInfo objects over a static description, and the
// standard DispGetIDsOfNames / DispInvoke over any ITypeInfo.
#include <atomic>
#include <new>
#include <vector>

#include "platform/com/TypeDescription.h"

namespace platform {
namespace {

HRESULT CopyText(const OLECHAR* text, BSTR* out) {
  if (out == nullptr) {
    return S_OK;
  }
  *out = SysAllocString(text != nullptr ? text : u"");
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

template <class Interface>
HRESULT AnswerQuery(Interface* self, REFIID own, REFIID riid, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == own) {
    *object = self;
    self->AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

class CDescribedTypeLib;

class CDescribedTypeInfo final : public ITypeInfo {
 public:
  CDescribedTypeInfo(CDescribedTypeLib* library, UINT index);

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, IID_ITypeInfo, riid, object);
  }
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    return DispatchGetIDsOfNames(Description(), IID_NULL, names, count, ids);
  }
  HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override {
    return DispatchByDescription(Description(), instance, id, IID_NULL, flags, params, result,
                                 excepInfo, argErr);
  }
  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                           BSTR* helpFile) override {
    const OLECHAR* memberName = Description().name;
    const OLECHAR* help = Description().helpString;
    if (id != MEMBERID_NIL) {
      const MemberDescription* member = FindMember(Description(), id);
      if (member == nullptr) {
        return TYPE_E_ELEMENTNOTFOUND;
      }
      memberName = member->name;
      help = member->helpString;
    }
    return Fill(memberName, help, name, docString, helpContext, helpFile);
  }
  HRESULT GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override {
    if (names == nullptr || count == nullptr) {
      return E_INVALIDARG;
    }
    *count = 0;
    const MemberDescription* member = FindMember(Description(), id);
    if (member == nullptr) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    for (UINT i = 0; i <= member->parameterCount && i < maxNames; ++i) {
      names[i] = SysAllocString(i == 0 ? member->name : member->parameters[i - 1].name);
      if (names[i] == nullptr) {
        for (UINT k = 0; k < i; ++k) {
          SysFreeString(names[k]);
        }
        return E_OUTOFMEMORY;
      }
      *count = i + 1;
    }
    return S_OK;
  }
  HRESULT GetContainingTypeLib(ITypeLib** library, UINT* index) override;

  static HRESULT Fill(const OLECHAR* nameText, const OLECHAR* help, BSTR* name, BSTR* docString,
                      DWORD* helpContext, BSTR* helpFile) {
    if (helpContext != nullptr) {
      *helpContext = 0;
    }
    if (helpFile != nullptr) {
      *helpFile = nullptr;
    }
    BSTR nameCopy = nullptr;
    HRESULT hr = CopyText(nameText, name != nullptr ? &nameCopy : nullptr);
    if (SUCCEEDED(hr)) {
      hr = CopyText(help, docString);
    }
    if (FAILED(hr)) {
      SysFreeString(nameCopy);
      return hr;
    }
    if (name != nullptr) {
      *name = nameCopy;
    }
    return S_OK;
  }

 private:
  const InterfaceDescription& Description() const;
  CDescribedTypeLib* m_library;
  UINT m_index;
};

// The library owns one type info per interface; they share its count, so
// a type info keeps its library alive and the other way round.
class CDescribedTypeLib final : public ITypeLib {
 public:
  explicit CDescribedTypeLib(const TypeLibraryDescription* description)
      : m_description(description) {
    m_infos.reserve(description->interfaceCount);
    for (UINT i = 0; i < description->interfaceCount; ++i) {
      m_infos.emplace_back(this, i);
    }
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, IID_ITypeLib, riid, object);
  }
  ULONG AddRef() override { return ++m_references; }
  ULONG Release() override {
    const ULONG left = --m_references;
    if (left == 0) {
      delete this;
    }
    return left;
  }

  UINT GetTypeInfoCount() override { return m_description->interfaceCount; }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override {
    if (info == nullptr) {
      return E_INVALIDARG;
    }
    *info = nullptr;
    if (index >= m_infos.size()) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    *info = &m_infos[index];
    AddRef();
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (info == nullptr) {
      return E_INVALIDARG;
    }
    *info = nullptr;
    for (UINT i = 0; i < m_description->interfaceCount; ++i) {
      if (m_description->interfaces[i].iid == guid) {
        return GetTypeInfo(i, info);
      }
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                           BSTR* helpFile) override {
    if (index == -1) {
      return CDescribedTypeInfo::Fill(m_description->name, m_description->helpString, name,
                                      docString, helpContext, helpFile);
    }
    if (index < 0 || static_cast<UINT>(index) >= m_description->interfaceCount) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    const InterfaceDescription& d = m_description->interfaces[index];
    return CDescribedTypeInfo::Fill(d.name, d.helpString, name, docString, helpContext, helpFile);
  }

  const TypeLibraryDescription* Description() const { return m_description; }

 private:
  ~CDescribedTypeLib() = default;
  const TypeLibraryDescription* m_description;
  std::vector<CDescribedTypeInfo> m_infos;
  std::atomic<ULONG> m_references{1};
};

CDescribedTypeInfo::CDescribedTypeInfo(CDescribedTypeLib* library, UINT index)
    : m_library(library), m_index(index) {}
ULONG CDescribedTypeInfo::AddRef() { return m_library->AddRef(); }
ULONG CDescribedTypeInfo::Release() { return m_library->Release(); }
HRESULT CDescribedTypeInfo::GetContainingTypeLib(ITypeLib** library, UINT* index) {
  if (library == nullptr) {
    return E_INVALIDARG;
  }
  *library = m_library;
  m_library->AddRef();
  if (index != nullptr) {
    *index = m_index;
  }
  return S_OK;
}
const InterfaceDescription& CDescribedTypeInfo::Description() const {
  return m_library->Description()->interfaces[m_index];
}

}  // namespace

HRESULT CreateTypeLibFromDescription(const TypeLibraryDescription* description,
                                     ITypeLib** library) {
  if (library == nullptr) {
    return E_POINTER;
  }
  *library = nullptr;
  if (description == nullptr) {
    return E_INVALIDARG;
  }
  try {
    *library = new CDescribedTypeLib(description);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
  if (info == nullptr) {
    return E_INVALIDARG;
  }
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (info == nullptr) {
    return E_INVALIDARG;
  }
  return info->Invoke(instance, id, flags, params, result, excepInfo, argErr);
}

}  // namespace platform
