// GetIDsOfNames and Invoke driven by a described interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "DescribedTarget.h"
#include "platform/com/TypeDescription.h"

namespace {

using namespace platform;
using namespace qvx::testing;

VARIANT Integer(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

// Script's view: arguments in call order, reversed into rgvarg.
struct CCall {
  std::vector<VARIANT> args;  // reversed
  std::vector<DISPID> named;
  VARIANT result;
  UINT argErr = 999;
  EXCEPINFO excep{};
  explicit CCall(std::vector<VARIANT> inOrder) : args(inOrder.rbegin(), inOrder.rend()) {
    VariantInit(&result);
  }
  ~CCall() {
    for (VARIANT& v : args) VariantClear(&v);
    VariantClear(&result);
  }
  HRESULT Invoke(CTarget& target, DISPID id, WORD flags = DISPATCH_METHOD) {
    DISPPARAMS params{args.data(), named.data(), static_cast<UINT>(args.size()),
                      static_cast<UINT>(named.size())};
    return DispatchByDescription(kInterface, &target, id, IID_NULL, flags, &params, &result, &excep,
                                 &argErr);
  }
};

TEST(DescribedDispatch, NamesResolveWithoutRegardToCase) {
  OleString member = OLESTR("jOIN"), second = OLESTR("P_SECOND"), unknown = OLESTR("p_Third");
  LPOLESTR names[] = {member.data(), second.data(), unknown.data()};
  DISPID ids[3] = {};
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, IID_NULL, names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1);  // the parameter's index
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, IID_NULL, names, 3, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);

  OleString missing = OLESTR("Joi");
  LPOLESTR one[] = {missing.data()};
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, IID_NULL, one, 1, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, kIid, one, 1, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST(DescribedDispatch, InvokeChecksCountsKindsAndTypesBeforeCalling) {
  struct Case {
    const char* label;
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;
    HRESULT hr;
    UINT argErr;
  };
  std::vector<Case> cases;
  cases.push_back({"too few", 1, DISPATCH_METHOD, {Text(OLESTR("a"))}, DISP_E_BADPARAMCOUNT, 999});
  cases.push_back({"too many", 2, DISPATCH_PROPERTYGET, {Integer(1)}, DISP_E_BADPARAMCOUNT, 999});
  cases.push_back({"unknown id", 9, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back({"getter called as method", 2, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back({"put", 3, DISPATCH_PROPERTYPUT, {Integer(1)}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back(
      {"text for I2", 3, DISPATCH_METHOD, {Text(OLESTR("three"))}, DISP_E_TYPEMISMATCH, 0});
  cases.push_back({"overflowing I2", 3, DISPATCH_METHOD, {Integer(70000)}, DISP_E_TYPEMISMATCH, 0});
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  // The second argument (rgvarg index 0) is the one that fails.
  cases.push_back(
      {"null string", 1, DISPATCH_METHOD, {Text(OLESTR("a")), null}, DISP_E_TYPEMISMATCH, 0});
  for (Case& c : cases) {
    CTarget target;
    CCall call(std::move(c.args));
    EXPECT_EQ(call.Invoke(target, c.id, c.flags), c.hr) << c.label;
    EXPECT_EQ(call.argErr, c.argErr) << c.label;
    EXPECT_EQ(target.calls, 0) << c.label;
    EXPECT_EQ(call.result.vt, VT_EMPTY) << c.label;
  }
}

TEST(DescribedDispatch, InvokeConvertsArgumentsAndReturnsTheResult) {
  CTarget target;
  {
    CCall call({Text(OLESTR("x")), Integer(12)});  // a number where a string is declared
    ASSERT_EQ(call.Invoke(target, 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(target.lastJoined, "x|12");
    ASSERT_EQ(call.result.vt, VT_BSTR);
    EXPECT_EQ(BstrToAnsi(call.result.bstrVal), "x|12");
  }
  {
    CCall call({});
    ASSERT_EQ(call.Invoke(target, 2, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(call.result.vt, VT_I4);
    EXPECT_EQ(call.result.lVal, 1);
  }
  {
    // Named arguments land on their parameters whatever the order.
    CCall call({Text(OLESTR("second")), Text(OLESTR("first"))});
    call.named = {1, 0};  // rgvarg[0] ("first") is p_Second, rgvarg[1] p_First
    ASSERT_EQ(call.Invoke(target, 1), S_OK);
    EXPECT_EQ(target.lastJoined, "second|first");
  }
  {
    CCall call({Text(OLESTR("a")), Text(OLESTR("b"))});
    call.named = {0, 0};
    EXPECT_EQ(call.Invoke(target, 1), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(call.argErr, 1u);
  }
  {
    CCall call({});
    EXPECT_EQ(call.Invoke(target, 4), DISP_E_EXCEPTION);
    EXPECT_EQ(call.excep.scode, E_ACCESSDENIED);
  }
}

}  // namespace
