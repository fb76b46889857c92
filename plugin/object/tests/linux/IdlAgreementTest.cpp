// BRIXON.idl is what the Windows type library is compiled from; on Linux
// the object's table (TypeLibrary.cpp) and IBRIXON.h stand in for it. Here
// all three must say the same: GUIDs, version, names, DISPIDs, kinds,
// parameters and their types, help strings, the interface's slot order.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "brixon/IBRIXON.h"

namespace {

using namespace platform;
using namespace qvx::brixon;

struct IdlParameter {
  std::string name;
  std::string type;
  bool retval;
};

struct IdlMember {
  int id;
  bool propget;
  std::string help;
  std::string name;
  std::vector<IdlParameter> parameters;
};

std::string ReadIdl() {
  std::ifstream file(QVX_BRIXON_IDL);
  std::stringstream text;
  text << file.rdbuf();
  // Comments may mention anything; only declarations count.
  return std::regex_replace(text.str(), std::regex("//[^\n]*"), "");
}

std::string Match(const std::string& text, const char* pattern, int group = 1) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern)))
    return "<missing: " + std::string(pattern) + ">";
  return match[group];
}

std::vector<IdlMember> Members(const std::string& idl) {
  const std::string body = Match(idl, R"(interface\s+IBRIXON\s*:\s*IDispatch\s*\{([^}]*)\})");
  const std::regex member(R"(\[([^\]]*)\]\s*HRESULT\s+(\w+)\s*\(([^)]*)\)\s*;)");
  const std::regex parameter(R"(\[([^\]]*)\]\s*(\w+)\s*\*?\s*(\w+))");
  std::vector<IdlMember> members;
  for (std::sregex_iterator m(body.begin(), body.end(), member), end; m != end; ++m) {
    const std::string attributes = (*m)[1];
    IdlMember parsed{std::stoi(Match(attributes, R"(id\((\d+)\))")),
                     std::regex_search(attributes, std::regex(R"(\bpropget\b)")),
                     Match(attributes, R"(helpstring\("([^"]*)\x22\))"),
                     (*m)[2],
                     {}};
    const std::string list = (*m)[3];
    for (std::sregex_iterator p(list.begin(), list.end(), parameter); p != end; ++p) {
      parsed.parameters.push_back(
          {(*p)[3], (*p)[2], std::regex_search(std::string((*p)[1]), std::regex(R"(\bretval\b)"))});
    }
    members.push_back(parsed);
  }
  return members;
}

std::string Narrow(const OLECHAR* text) {
  std::string narrow;
  for (; text != nullptr && *text != 0; ++text) narrow += static_cast<char>(*text);
  return narrow;
}

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

// A type the table cannot hold, for an IDL type this test does not know.
constexpr VARTYPE kUnknownType = 0xFFFF;

VARTYPE TypeOf(const std::string& idlType) {
  static const std::map<std::string, VARTYPE> kTypes = {
      {"BSTR", VT_BSTR}, {"SHORT", VT_I2}, {"LONG", VT_I4}};
  const auto found = kTypes.find(idlType);
  return found == kTypes.end() ? kUnknownType : found->second;
}

TEST(IdlAgreement, GuidsAndLibraryMatchTheHeaderAndTheTable) {
  const std::string idl = ReadIdl();
  EXPECT_EQ(Match(idl, R"(uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*interface\s+IBRIXON)"),
            GuidText(IID_IBRIXON));
  EXPECT_EQ(Match(idl, R"(uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*library\s+BRIXONLib)"),
            GuidText(LIBID_BRIXONLib));
  EXPECT_EQ(Match(idl, R"(uuid\(([0-9A-Fa-f-]+)\)[^\]]*\]\s*coclass\s+BRIXON\b)"),
            GuidText(CLSID_BRIXON));
  EXPECT_EQ(Match(idl, R"(coclass\s+BRIXON\s*\{\s*\[default\]\s*interface\s+(\w+)\s*;)"),
            "IBRIXON");

  const TypeLibraryDescription& library = BrixonTypeLibrary();
  EXPECT_EQ(GuidText(library.libid), GuidText(LIBID_BRIXONLib));
  EXPECT_EQ(Narrow(library.name), Match(idl, R"(library\s+(\w+))"));
  EXPECT_EQ(Narrow(library.helpString),
            Match(idl, R"(helpstring\("([^"]*)\x22\)[^\]]*\]\s*library\b)"));
  EXPECT_EQ(std::to_string(library.majorVersion) + "." + std::to_string(library.minorVersion),
            Match(idl, R"(version\((\d+\.\d+)\)[^\]]*\]\s*library\b)"));
  ASSERT_EQ(library.interfaceCount, 1u);
  EXPECT_EQ(GuidText(library.interfaces[0].iid), GuidText(IID_IBRIXON));
  EXPECT_EQ(Narrow(library.interfaces[0].helpString),
            Match(idl, R"(helpstring\("([^"]*)\x22\)[^\]]*\]\s*interface\s+IBRIXON)"));
}

TEST(IdlAgreement, MembersMatchTheTableOneByOne) {
  const std::vector<IdlMember> members = Members(ReadIdl());
  const InterfaceDescription& table = BrixonInterface();
  ASSERT_EQ(members.size(), table.memberCount);
  for (std::size_t i = 0; i < members.size(); ++i) {
    const IdlMember& idl = members[i];
    const MemberDescription& row = table.members[i];
    SCOPED_TRACE(idl.name);
    EXPECT_EQ(row.id, idl.id);
    EXPECT_EQ(Narrow(row.name), idl.name);
    EXPECT_EQ(row.invokeKind, idl.propget ? DISPATCH_PROPERTYGET : DISPATCH_METHOD);
    EXPECT_EQ(Narrow(row.helpString), idl.help);
    VARTYPE result = VT_EMPTY;
    std::vector<std::string> inputs;
    for (const IdlParameter& parameter : idl.parameters) {
      if (parameter.retval) {
        result = TypeOf(parameter.type);
        continue;
      }
      const std::size_t at = inputs.size();
      inputs.push_back(parameter.name);
      ASSERT_LT(at, row.parameterCount);
      EXPECT_EQ(Narrow(row.parameters[at].name), parameter.name);
      EXPECT_EQ(row.parameters[at].type, TypeOf(parameter.type)) << parameter.name;
    }
    EXPECT_EQ(row.parameterCount, inputs.size());
    EXPECT_EQ(row.returnType, result);
  }
}

// The vtable slot of a virtual member under the Itanium C++ ABI: the
// pointer holds 1 + the slot's byte offset.
template <typename Member>
std::ptrdiff_t Slot(Member member) {
  struct {
    std::uintptr_t pointer;
    std::ptrdiff_t adjustment;
  } raw{};
  static_assert(sizeof(member) == sizeof(raw));
  std::memcpy(&raw, &member, sizeof raw);
  return static_cast<std::ptrdiff_t>((raw.pointer - 1) / sizeof(void*));
}

TEST(IdlAgreement, HeaderSlotsFollowTheIdlOrder) {
  // IBRIXON.h's members by their C++ names; a property's getter is get_<name>.
  const std::map<std::string, std::ptrdiff_t> slots = {
      {"CheckConnection", Slot(&IBRIXON::CheckConnection)},
      {"get_CheckBRIXON", Slot(&IBRIXON::get_CheckBRIXON)},
      {"CheckCard", Slot(&IBRIXON::CheckCard)},
      {"GetResponse", Slot(&IBRIXON::GetResponse)},
      {"GetMode1Response", Slot(&IBRIXON::GetMode1Response)},
      {"GetMode2Response", Slot(&IBRIXON::GetMode2Response)},
      {"DisplayResult", Slot(&IBRIXON::DisplayResult)},
      {"Cancel", Slot(&IBRIXON::Cancel)}};
  const std::vector<IdlMember> members = Members(ReadIdl());
  ASSERT_EQ(members.size(), slots.size());
  const std::ptrdiff_t first = Slot(&IDispatch::Invoke) + 1;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::string name = (members[i].propget ? "get_" : "") + members[i].name;
    ASSERT_EQ(slots.count(name), 1u) << name;
    EXPECT_EQ(slots.at(name), first + static_cast<std::ptrdiff_t>(i)) << name;
  }
}

}  // namespace
