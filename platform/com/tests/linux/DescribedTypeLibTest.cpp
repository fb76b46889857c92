// The Linux stand-in for a compiled type library: the type information
// built from a description serves the same calls through DispInvoke.
#include <gtest/gtest.h>

#include <string>

#include "DescribedTarget.h"

namespace {

using namespace qvx::testing;

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
