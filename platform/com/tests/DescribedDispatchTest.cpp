// GetIDsOfNames and Invoke driven by a described interface, directly and
// through the type library objects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "platform/com/TypeDescription.h"

namespace {

using namespace platform;
using qvx::testing::Text;

// The object the description calls into (stands for a dual interface).
struct CTarget {
  std::string lastJoined;
  SHORT lastId = 0;
  int calls = 0;
};

HRESULT CallJoin(void* self, VARIANT* args, VARIANT* result) {
  auto* t = static_cast<CTarget*>(self);
  ++t->calls;
  t->lastJoined = BstrToAnsi(args[0].bstrVal) + "|" + BstrToAnsi(args[1].bstrVal);
  result->bstrVal = AnsiToBstr(t->lastJoined);
  return S_OK;
}
HRESULT CallPresent(void* self, VARIANT*, VARIANT* result) {
  ++static_cast<CTarget*>(self)->calls;
  result->lVal = 1;
  return S_OK;
}
HRESULT CallShow(void* self, VARIANT* args, VARIANT*) {
  auto* t = static_cast<CTarget*>(self);
  ++t->calls;
  t->lastId = args[0].iVal;
  return S_OK;
}
HRESULT CallBroken(void*, VARIANT*, VARIANT*) { return E_ACCESSDENIED; }

const ParameterDescription kJoinParams[] = {{u"p_First", VT_BSTR}, {u"p_Second", VT_BSTR}};
const ParameterDescription kShowParams[] = {{u"p_MessageId", VT_I2}};
const MemberDescription kMembers[] = {
    {1, u"Join", DISPATCH_METHOD, kJoinParams, 2, VT_BSTR, u"method Join", CallJoin},
    {2, u"Present", DISPATCH_PROPERTYGET, nullptr, 0, VT_I4, u"property Present", CallPresent},
    {3, u"Show", DISPATCH_METHOD, kShowParams, 1, VT_EMPTY, u"method Show", CallShow},
    {4, u"Broken", DISPATCH_METHOD, nullptr, 0, VT_EMPTY, u"method Broken", CallBroken},
};
constexpr IID kIid{0xE40D2012, 0xDD18, 0x4759, {0xA1, 0x58, 0xDA, 0xB3, 0xC7, 0x88, 0xCE, 0xD6}};
const InterfaceDescription kInterface{kIid, u"ITarget", u"ITarget Interface", kMembers, 4};
const TypeLibraryDescription kLibrary{
    GUID_NULL, u"TargetLib", u"Target 1.0 Type Library", 1, 0, &kInterface, 1};

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
  std::u16string member = u"jOIN", second = u"P_SECOND", unknown = u"p_Third";
  LPOLESTR names[] = {member.data(), second.data(), unknown.data()};
  DISPID ids[3] = {};
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, IID_NULL, names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1);  // the parameter's index
  EXPECT_EQ(DispatchGetIDsOfNames(kInterface, IID_NULL, names, 3, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);

  std::u16string missing = u"Joi";
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
  cases.push_back({"too few", 1, DISPATCH_METHOD, {Text(u"a")}, DISP_E_BADPARAMCOUNT, 999});
  cases.push_back({"too many", 2, DISPATCH_PROPERTYGET, {Integer(1)}, DISP_E_BADPARAMCOUNT, 999});
  cases.push_back({"unknown id", 9, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back({"getter called as method", 2, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back({"put", 3, DISPATCH_PROPERTYPUT, {Integer(1)}, DISP_E_MEMBERNOTFOUND, 999});
  cases.push_back({"text for I2", 3, DISPATCH_METHOD, {Text(u"three")}, DISP_E_TYPEMISMATCH, 0});
  cases.push_back({"overflowing I2", 3, DISPATCH_METHOD, {Integer(70000)}, DISP_E_TYPEMISMATCH, 0});
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  // The second argument (rgvarg index 0) is the one that fails.
  cases.push_back({"null string", 1, DISPATCH_METHOD, {Text(u"a"), null}, DISP_E_TYPEMISMATCH, 0});
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
    CCall call({Text(u"x"), Integer(12)});  // a number where a string is declared
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
    CCall call({Text(u"second"), Text(u"first")});
    call.named = {1, 0};  // rgvarg[0] ("first") is p_Second, rgvarg[1] p_First
    ASSERT_EQ(call.Invoke(target, 1), S_OK);
    EXPECT_EQ(target.lastJoined, "second|first");
  }
  {
    CCall call({Text(u"a"), Text(u"b")});
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

TEST(DescribedDispatch, TypeLibraryServesTheSameThroughDispInvoke) {
  ITypeLib* library = nullptr;
  ASSERT_EQ(CreateTypeLibFromDescription(&kLibrary, &library), S_OK);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(kIid, &info), S_OK);
  library->Release();  // the type info keeps it alive

  std::u16string name = u"show";
  LPOLESTR names[] = {name.data()};
  DISPID id = 0;
  ASSERT_EQ(DispGetIDsOfNames(info, names, 1, &id), S_OK);
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(u"7");
  DISPPARAMS params{&arg, nullptr, 1, 0};
  CTarget target;
  EXPECT_EQ(DispInvoke(&target, info, id, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(target.lastId, 7);
  VariantClear(&arg);

  BSTR doc = nullptr;
  EXPECT_EQ(info->GetDocumentation(3, nullptr, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(doc), u"method Show");
  SysFreeString(doc);
  BSTR all[3] = {};
  UINT count = 0;
  EXPECT_EQ(info->GetNames(1, all, 3, &count), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(std::u16string(all[2]), u"p_Second");
  for (UINT i = 0; i < count; ++i) SysFreeString(all[i]);
  EXPECT_EQ(info->GetDocumentation(42, nullptr, &doc, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
  info->Release();
}

}  // namespace
