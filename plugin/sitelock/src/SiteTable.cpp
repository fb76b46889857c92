// The allowed-site table and the matching of scheme, zone and host.
#include <cstdint>

#include "brixon/SiteLock.h"

namespace qvx::brixon {
namespace {

std::size_t Length(const OLECHAR* text) {
  std::size_t n = 0;
  while (text[n] != 0) {
    ++n;
  }
  return n;
}

bool Equal(const OLECHAR* a, std::size_t aLength, const OLECHAR* b, std::size_t bLength) {
  if (aLength != bLength) {
    return false;
  }
  for (std::size_t i = 0; i < aLength; ++i) {
    if (a[i] != b[i]) {
      return false;
    }
  }
  return true;
}

// host is "<something>.name".
bool IsBelow(const OLECHAR* host, std::size_t hostLength, const OLECHAR* name,
             std::size_t nameLength) {
  return hostLength > nameLength && host[hostLength - nameLength - 1] == OLESTR('.') &&
         Equal(host + hostLength - nameLength, nameLength, name, nameLength);
}

bool ZoneMatches(int marker, DWORD zone) {
  switch (marker) {
    case kZoneMarkerIntranetOrTrusted:
      return zone == URLZONE_INTRANET || zone == URLZONE_TRUSTED;
    case kZoneMarkerLocalMachine:
      return zone == URLZONE_LOCAL_MACHINE;
    case kZoneMarkerTrusted:
      return zone == URLZONE_TRUSTED;
    default:
      return false;
  }
}

}  // namespace

const SiteLockEntry CSiteLock::kAllowedSites[] = {
    {kSiteAllow, OLESTR("https"), OLESTR("brixbank.example")},
    {kSiteAllow, OLESTR("https"), OLESTR("brixonline.example")},
};
static_assert(sizeof(CSiteLock::kAllowedSites) / sizeof(SiteLockEntry) ==
              CSiteLock::kAllowedSiteCount);

const OLECHAR* ZoneMarker(int marker) {
  return reinterpret_cast<const OLECHAR*>(static_cast<std::intptr_t>(marker));
}

int ZoneMarkerOf(const OLECHAR* domain) {
  const auto value = reinterpret_cast<std::intptr_t>(domain);
  return value >= kZoneMarkerTrusted && value <= kZoneMarkerIntranetOrTrusted
             ? static_cast<int>(value)
             : 0;
}

bool CSiteLock::MatchDomain(LPCOLESTR pattern, LPCOLESTR host) {
  if (pattern == nullptr || host == nullptr) {
    return false;
  }
  const std::size_t patternLength = Length(pattern);
  const std::size_t hostLength = Length(host);
  if (patternLength == 1 && pattern[0] == OLESTR('*')) {
    return true;
  }
  if (patternLength > 2 && pattern[0] == OLESTR('*') && pattern[1] == OLESTR('.')) {
    return IsBelow(host, hostLength, pattern + 2, patternLength - 2);
  }
  if (patternLength >= 2 && pattern[0] == OLESTR('=')) {
    return Equal(host, hostLength, pattern + 1, patternLength - 1);
  }
  return Equal(host, hostLength, pattern, patternLength) ||
         IsBelow(host, hostLength, pattern, patternLength);
}

bool CSiteLock::MatchSiteList(LPCOLESTR url, DWORD zone, const SiteLockEntry* table, DWORD count) {
  if (table == nullptr) {
    return false;
  }
  OLECHAR scheme[kSchemeCapacity] = {};
  OLECHAR host[kHostCapacity] = {};
  if (FAILED(SplitUrl(url, scheme, host))) {
    return false;
  }
  const std::size_t schemeLength = Length(scheme);
  for (DWORD i = 0; i < count; ++i) {
    const SiteLockEntry& entry = table[i];
    if (entry.scheme == nullptr ||
        !Equal(entry.scheme, Length(entry.scheme), scheme, schemeLength)) {
      continue;
    }
    const int marker = ZoneMarkerOf(entry.domain);
    const bool matches = marker != 0 ? ZoneMatches(marker, zone) : MatchDomain(entry.domain, host);
    if (matches) {
      return entry.rule == kSiteAllow;
    }
  }
  return false;
}

}  // namespace qvx::brixon
