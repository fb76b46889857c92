// BRIXONLib as widl compiles it from BRIXON.idl, read back through the
// system's type library loader: what a browser sees of the object before it
// calls it.
#include <windows.h>
//
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// {0C50EEE8-5A83-4C5F-9A84-425A218EAFE5}
const GUID kLibrary = {
    0x0C50EEE8, 0x5A83, 0x4C5F, {0x9A, 0x84, 0x42, 0x5A, 0x21, 0x8E, 0xAF, 0xE5}};
// {C736F5AC-65AD-4BB9-B91A-F63AB66D435D}
const GUID kClass = {0xC736F5AC, 0x65AD, 0x4BB9, {0xB9, 0x1A, 0xF6, 0x3A, 0xB6, 0x6D, 0x43, 0x5D}};
// {A7681D3B-7CC9-40F2-B019-B7B0F548F424}
const GUID kInterface = {
    0xA7681D3B, 0x7CC9, 0x40F2, {0xB0, 0x19, 0xB7, 0xB0, 0xF5, 0x48, 0xF4, 0x24}};

struct Member {
  MEMBERID id;
  INVOKEKIND kind;
  std::vector<std::wstring> names;  // the member, then its parameters
  std::vector<VARTYPE> parameterTypes;
  VARTYPE result;  // of the [out, retval] parameter; VT_EMPTY for none
  std::wstring help;
};

const std::vector<Member> kMembers = {
    {1, INVOKE_FUNC, {L"CheckConnection", L"p_RetVal"}, {}, VT_BSTR, L"method CheckConnection"},
    {2, INVOKE_PROPERTYGET, {L"CheckBRIXON", L"pVal"}, {}, VT_I4, L"property CheckBRIXON"},
    {3,
     INVOKE_FUNC,
     {L"CheckCard", L"p_Language", L"p_RetVal"},
     {VT_BSTR},
     VT_BSTR,
     L"method CheckCard"},
    {4,
     INVOKE_FUNC,
     {L"GetResponse", L"p_SignData", L"p_Language", L"p_RetVal"},
     {VT_BSTR, VT_BSTR},
     VT_BSTR,
     L"method GetResponse"},
    {5,
     INVOKE_FUNC,
     {L"GetMode1Response", L"p_Challenge", L"p_Currency", L"p_Amount", L"p_RetVal"},
     {VT_BSTR, VT_BSTR, VT_BSTR},
     VT_BSTR,
     L"method GetMode1Response"},
    {6, INVOKE_FUNC, {L"GetMode2Response", L"p_RetVal"}, {}, VT_BSTR, L"method GetMode2Response"},
    {7,
     INVOKE_FUNC,
     {L"DisplayResult", L"p_MessageId", L"p_LastLogon", L"p_Language", L"p_RetVal"},
     {VT_I2, VT_BSTR, VT_BSTR},
     VT_BSTR,
     L"method DisplayResult"},
    {8, INVOKE_FUNC, {L"Cancel"}, {}, VT_EMPTY, L"method Cancel"},
};

std::wstring Text(BSTR text) {
  std::wstring copy = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return copy;
}

class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = QVX_BRIXON_TLB;
    ASSERT_EQ(
        LoadTypeLibEx(std::wstring(path.begin(), path.end()).c_str(), REGKIND_NONE, &m_library),
        S_OK)
        << path;
  }
  void TearDown() override {
    if (m_library != nullptr) m_library->Release();
  }

  // Name and help string of the library (index -1) or of one of its types.
  std::pair<std::wstring, std::wstring> Documentation(INT index) {
    BSTR name = nullptr;
    BSTR help = nullptr;
    EXPECT_EQ(m_library->GetDocumentation(index, &name, &help, nullptr, nullptr), S_OK);
    return {Text(name), Text(help)};
  }

  ITypeLib* m_library = nullptr;
};

TEST_F(TypeLibraryTest, IsBrixonLibOneZeroWithTheClassAndItsInterface) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(m_library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibrary));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  m_library->ReleaseTLibAttr(attributes);
  EXPECT_EQ(Documentation(-1),
            std::make_pair(std::wstring(L"BRIXONLib"), std::wstring(L"BRIXON 1.0 Type Library")));

  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(m_library->GetTypeInfoOfGuid(kClass, &coclass), S_OK);
  TYPEATTR* classAttributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&classAttributes), S_OK);
  EXPECT_EQ(classAttributes->typekind, TKIND_COCLASS);
  EXPECT_NE(classAttributes->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  ASSERT_EQ(classAttributes->cImplTypes, 1);
  INT flags = 0;
  EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_NE(flags & IMPLTYPEFLAG_FDEFAULT, 0);
  HREFTYPE reference = 0;
  ITypeInfo* implemented = nullptr;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
  ASSERT_EQ(coclass->GetRefTypeInfo(reference, &implemented), S_OK);
  TYPEATTR* implementedAttributes = nullptr;
  ASSERT_EQ(implemented->GetTypeAttr(&implementedAttributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(implementedAttributes->guid, kInterface)) << "the default interface";
  implemented->ReleaseTypeAttr(implementedAttributes);
  implemented->Release();
  coclass->ReleaseTypeAttr(classAttributes);
  BSTR help = nullptr;
  EXPECT_EQ(coclass->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(help), L"BRIXON Class");
  coclass->Release();
}

TEST_F(TypeLibraryTest, IBrixonIsADualInterfaceWithItsMembersInDispatchOrder) {
  ITypeInfo* info = nullptr;
  ASSERT_EQ(m_library->GetTypeInfoOfGuid(kInterface, &info), S_OK);
  // A dual interface is listed as its dispatch view; the vtable view lies
  // behind reference -1.
  ITypeInfo* vtable = nullptr;
  HREFTYPE reference = 0;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(reference, &vtable), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FDUAL, 0);
  EXPECT_NE(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0);
  // IDispatch's seven slots, then the members in DISPID order.
  EXPECT_EQ(attributes->cbSizeVft, (7 + kMembers.size()) * sizeof(void*));
  ASSERT_EQ(attributes->cFuncs, kMembers.size());

  for (UINT index = 0; index < attributes->cFuncs; ++index) {
    const Member& expected = kMembers[index];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtable->GetFuncDesc(index, &function), S_OK);
    EXPECT_EQ(function->memid, expected.id);
    EXPECT_EQ(function->invkind, expected.kind) << expected.id;
    EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + index) * sizeof(void*))) << expected.id;
    EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT) << expected.id;
    const bool hasResult = expected.result != VT_EMPTY;
    ASSERT_EQ(static_cast<size_t>(function->cParams),
              expected.parameterTypes.size() + (hasResult ? 1 : 0));
    for (size_t i = 0; i < expected.parameterTypes.size(); ++i) {
      const ELEMDESC& parameter = function->lprgelemdescParam[i];
      EXPECT_EQ(parameter.tdesc.vt, expected.parameterTypes[i]) << expected.id;
      EXPECT_NE(parameter.paramdesc.wParamFlags & PARAMFLAG_FIN, 0) << expected.id;
    }
    if (hasResult) {
      const ELEMDESC& out = function->lprgelemdescParam[function->cParams - 1];
      EXPECT_EQ(out.tdesc.vt, VT_PTR) << expected.id;
      ASSERT_NE(out.tdesc.lptdesc, nullptr);
      EXPECT_EQ(out.tdesc.lptdesc->vt, expected.result) << expected.id;
      EXPECT_EQ(out.paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
                PARAMFLAG_FOUT | PARAMFLAG_FRETVAL)
          << expected.id;
    }

    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(vtable->GetNames(function->memid, names, 8, &count), S_OK);
    std::vector<std::wstring> got;
    for (UINT i = 0; i < count; ++i) got.push_back(Text(names[i]));
    EXPECT_EQ(got, expected.names);
    BSTR help = nullptr;
    EXPECT_EQ(vtable->GetDocumentation(function->memid, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(help), expected.help);
    vtable->ReleaseFuncDesc(function);
  }
  vtable->ReleaseTypeAttr(attributes);
  vtable->Release();

  // Script reaches the members by name through the dispatch view.
  for (const Member& expected : kMembers) {
    LPOLESTR name = const_cast<LPOLESTR>(expected.names[0].c_str());
    MEMBERID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(&name, 1, &id), S_OK);
    EXPECT_EQ(id, expected.id);
  }
  BSTR help = nullptr;
  EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
  EXPECT_EQ(Text(help), L"IBRIXON Interface");
  info->Release();
}

}  // namespace
