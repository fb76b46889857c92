// VariantChangeType for the conversions an Invoke makes.
#include <gtest/gtest.h>

#include <string>

#include "ComTestSupport.h"
#include "platform/com/Variant.h"

namespace {

using namespace platform;
using qvx::testing::Text;

VARIANT Number(VARTYPE vt, double value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  switch (vt) {
    case VT_I2:
      v.iVal = static_cast<SHORT>(value);
      break;
    case VT_I4:
      v.lVal = static_cast<LONG>(value);
      break;
    case VT_R8:
      v.dblVal = value;
      break;
    case VT_BOOL:
      v.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      break;
  }
  return v;
}

double NumericOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I2:
      return v.iVal;
    case VT_I4:
      return v.lVal;
    case VT_UI2:
      return v.uiVal;
    case VT_BOOL:
      return v.boolVal;
    default:
      return -99999;
  }
}

TEST(VariantChangeType, ToNumbers) {
  struct Case {
    const char* label;
    VARIANT source;
    VARTYPE to;
    HRESULT hr;
    double value;
  } cases[] = {
      {"text", Text(OLESTR(" 42 ")), VT_I2, S_OK, 42},
      {"signed text", Text(OLESTR("-7")), VT_I4, S_OK, -7},
      {"half to even", Text(OLESTR("2.5")), VT_I2, S_OK, 2},
      {"half to even up", Number(VT_R8, 3.5), VT_I2, S_OK, 4},
      {"negative half", Number(VT_R8, -2.5), VT_I4, S_OK, -2},
      {"garbage", Text(OLESTR("12a")), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"empty text", Text(OLESTR("")), VT_I2, DISP_E_TYPEMISMATCH, 0},
      {"hex is no number", Text(OLESTR("0x10")), VT_I4, DISP_E_TYPEMISMATCH, 0},
      {"I2 overflow", Number(VT_I4, 40000), VT_I2, DISP_E_OVERFLOW, 0},
      {"UI2 negative", Number(VT_I4, -1), VT_UI2, DISP_E_OVERFLOW, 0},
      {"text overflow", Text(OLESTR("99999999999")), VT_I4, DISP_E_OVERFLOW, 0},
      {"bool", Number(VT_BOOL, 1), VT_I2, S_OK, -1},
      {"empty", Number(VT_EMPTY, 0), VT_I4, S_OK, 0},
      {"text to bool", Text(OLESTR("tRUE")), VT_BOOL, S_OK, VARIANT_TRUE},
      {"number text to bool", Text(OLESTR("0")), VT_BOOL, S_OK, VARIANT_FALSE},
      {"null", Number(VT_NULL, 0), VT_I2, DISP_E_TYPEMISMATCH, 0},
  };
  for (Case& c : cases) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &c.source, 0, c.to), c.hr) << c.label;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, c.to) << c.label;
      EXPECT_EQ(NumericOf(out), c.value) << c.label;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << c.label;
    }
    VariantClear(&out);
    VariantClear(&c.source);
  }
}

TEST(VariantChangeType, ToTextThroughReferencesAndInPlace) {
  struct Case {
    VARIANT source;
    USHORT flags;
    OleString text;
  } cases[] = {
      {Number(VT_I2, -12), 0, OLESTR("-12")},
      {Number(VT_BOOL, 1), 0, OLESTR("-1")},
      {Number(VT_BOOL, 0), VARIANT_ALPHABOOL, OLESTR("False")},
      {Number(VT_R8, 1.5), 0, OLESTR("1.5")},
      {Number(VT_EMPTY, 0), 0, OLESTR("")},
  };
  for (Case& c : cases) {
    EXPECT_EQ(VariantChangeType(&c.source, &c.source, c.flags, VT_BSTR), S_OK);
    ASSERT_EQ(c.source.vt, VT_BSTR);
    EXPECT_EQ(OleString(c.source.bstrVal, SysStringLen(c.source.bstrVal)), c.text);
    VariantClear(&c.source);
  }

  // VT_BYREF|VT_VARIANT holding a BSTR: the copy is the caller's own.
  VARIANT inner = Text(OLESTR("0978"));
  VARIANT ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_NE(out.bstrVal, inner.bstrVal);
  EXPECT_EQ(OleString(out.bstrVal), OLESTR("0978"));
  VariantClear(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, 978);
  EXPECT_EQ(VariantClear(&ref), S_OK);  // a reference owns nothing
  EXPECT_EQ(inner.vt, VT_BSTR);
  VariantClear(&inner);
}

}  // namespace
