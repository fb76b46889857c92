// IObjectSafety answered through the site lock.
#include "brixon/SiteLock.h"

namespace qvx::brixon {

bool IObjectSafetySiteLockImpl::Supports(REFIID riid, HRESULT* error) {
  void* probe = nullptr;
  *error = QueryInterface(riid, &probe);
  if (FAILED(*error)) {
    return false;
  }
  if (probe != nullptr) {
    static_cast<platform::IUnknown*>(probe)->Release();
  }
  return true;
}

HRESULT STDMETHODCALLTYPE IObjectSafetySiteLockImpl::GetInterfaceSafetyOptions(
    REFIID riid, DWORD* supportedOptions, DWORD* enabledOptions) {
  if (supportedOptions == nullptr || enabledOptions == nullptr) {
    return E_POINTER;
  }
  HRESULT error = S_OK;
  if (!Supports(riid, &error)) {
    *supportedOptions = 0;
    *enabledOptions = 0;
    return error;
  }
  *supportedOptions = kSupportedSafetyOptions;
  *enabledOptions = CSiteLock::IsPageApproved(this) ? m_safetyOptions : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IObjectSafetySiteLockImpl::SetInterfaceSafetyOptions(
    REFIID riid, DWORD optionSetMask, DWORD enabledOptions) {
  HRESULT error = S_OK;
  if (!Supports(riid, &error)) {
    return error;
  }
  if ((optionSetMask & ~kSupportedSafetyOptions) != 0) {
    return E_FAIL;
  }
  const DWORD options = (enabledOptions & optionSetMask) | (m_safetyOptions & ~optionSetMask);
  if (options == m_safetyOptions) {
    return S_OK;
  }
  if (!CSiteLock::IsPageApproved(this)) {
    return E_FAIL;
  }
  m_safetyOptions = options;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IObjectSafetySiteLockImpl::QueryLockCapability(DWORD* capability) {
  if (capability == nullptr) {
    return E_POINTER;
  }
  switch (*capability) {
    case 0:
      *capability = kSiteLockCapabilities;
      return S_OK;
    case 1:
      *capability = 0;
      return S_OK;
    default:
      *capability = 0;
      return E_NOTIMPL;
  }
}

HRESULT STDMETHODCALLTYPE IObjectSafetySiteLockImpl::GetAllowedSites(const SiteLockEntry** sites,
                                                                     DWORD* count) {
  if (sites == nullptr || count == nullptr) {
    return E_POINTER;
  }
  *sites = CSiteLock::kAllowedSites;
  *count = CSiteLock::kAllowedSiteCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IObjectSafetySiteLockImpl::GetLockExpiry(BOOL* expires,
                                                                   FILETIME* expiry) {
  if (expires == nullptr || expiry == nullptr) {
    return E_POINTER;
  }
  *expires = 0;
  *expiry = FILETIME{0, 0};
  return E_NOTIMPL;
}

}  // namespace qvx::brixon
