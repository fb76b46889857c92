// The class and interface of the test in-process server.
#pragma once

#include "platform/com/Unknown.h"

namespace qvx::testing {

using platform::CLSID;
using platform::HRESULT;
using platform::IID;
using platform::LONG;

inline constexpr CLSID CLSID_TestThing{
    0x0E1CC768, 0xB511, 0x432A, {0x86, 0xCF, 0x38, 0x97, 0xC1, 0x13, 0xF5, 0x08}};
inline constexpr IID IID_ITestThing{
    0xAE161B16, 0xBC94, 0x4B02, {0x96, 0xFB, 0xA4, 0x29, 0x1D, 0x8A, 0xF7, 0xC7}};

class ITestThing : public platform::IUnknown {
 public:
  virtual HRESULT GetValue(LONG* value) = 0;
};

// Exported by the server: objects alive now.
using LiveObjectsFunction = long (*)();
constexpr const char* kLiveObjectsName = "QvxTestServerLiveObjects";

}  // namespace qvx::testing
