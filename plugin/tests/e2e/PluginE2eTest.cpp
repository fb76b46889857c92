// The plug-in over the real stack: every member from a page reaches the
// simulated device; a re-entrant Cancel from a window message ends a
// command whose customer never answers; two hosts in two processes contend
// for the device; the plug-in and the connector service take the device
// from each other.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Eventually.h"
#include "Ports.h"
#include "ServiceProcess.h"
#include "Stack.h"
#include "StackFixture.h"
#include "Subprocess.h"
#include "client/WssClient.h"
#include "browser/Page.h"
#include "browser/Script.h"
#include "platform/Messages.h"
#include "platform/com/Creation.h"

namespace {

using namespace platform;
using namespace std::chrono_literals;
using qvx::browser::ScriptArgument;
using qvx::testing::Child;
using qvx::testing::Eventually;
using qvx::testing::ProcessResult;
using qvx::testing::Stack;

constexpr const char* kBankPage = "https://www.brixbank.example/banking";

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The module is registered in the stack's private registry.
class PluginOverPcscd : public qvx::testing::ProcessStackTest {
 protected:
  std::string Prepare(Stack& stack) override {
    ::setenv("TMPDIR", stack.Dir().c_str(), 1);  // the plug-in's log, for children too
    void* module = ::dlopen(QVX_BRIXON_MODULE, RTLD_NOW);
    auto registrar = module != nullptr
                         ? reinterpret_cast<HRESULT (*)()>(::dlsym(module, "DllRegisterServer"))
                         : nullptr;
    if (registrar == nullptr || registrar() != S_OK) return "DllRegisterServer failed";
    return {};
  }

  // The object as a page of `url` gets it: created by ProgID, sited, and
  // made safe for scripting.
  static CComPtr<IDispatch> PageObject(const std::string& url = kBankPage) {
    CLSID clsid{};
    CComPtr<IUnknown> object;
    EXPECT_EQ(CLSIDFromProgID(u"BRIXON.Application", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.AsOut()),
              S_OK);
    if (!object) return {};
    CComPtr<IUnknown> page;
    page.Attach(qvx::browser::CPage::Create(url, URLZONE_INTERNET));
    CComPtr<IObjectWithSite> sited;
    object->QueryInterface(IID_IObjectWithSite, sited.AsOut());
    sited->SetSite(page);
    CComPtr<IObjectSafety> safety;
    object->QueryInterface(IID_IObjectSafety, safety.AsOut());
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER),
              S_OK);
    CComPtr<IDispatch> dispatch;
    object->QueryInterface(IID_IDispatch, dispatch.AsOut());
    return dispatch;
  }

  static std::string Call(IDispatch* object, const std::string& member,
                          const std::vector<ScriptArgument>& arguments = {}) {
    VARIANT result;
    const HRESULT hr = qvx::browser::CallByName(object, member, arguments, &result);
    EXPECT_EQ(hr, S_OK) << member;
    if (FAILED(hr)) return {};
    std::string text = qvx::browser::ScriptText(result);
    VariantClear(&result);
    return text;
  }

  bool DeviceWaits() const { return qvx::testing::DeviceWaits(*m_stack); }

  std::string PluginLog() const { return ReadText(m_stack->Dir() + "/BRIXON_Log.txt"); }

  std::vector<std::string> Host(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv{QVX_BRIXONHOST};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
  }
};

TEST_F(PluginOverPcscd, EveryMemberFromThePageReachesTheDevice) {
  struct Case {
    const char* member;
    std::vector<ScriptArgument> arguments;
    const char* also;  // a key the result must carry
    bool device;       // the member talks to the device
  };
  const Case cases[] = {
      {"CheckConnection", {}, "\nBRIXON_Version=01.06", true},
      {"CheckCard", {{"nl"}}, "\nCardId_PAN=", true},
      {"GetResponse", {{"0002CCDD"}, {"nl"}}, "\nResponse=", true},
      {"GetMode1Response", {{"12345678"}, {"0978"}, {"000000012345"}}, "\nResponse=", true},
      {"GetMode2Response", {}, "\nResponse=", true},
      {"DisplayResult", {{"7"}, {"", true}, {"nl"}}, "", true},
  };
  CComPtr<IDispatch> object = PageObject();
  ASSERT_TRUE(object);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.member);
    m_stack->Control("trace clear");
    const std::string result = Call(object, c.member, c.arguments);
    EXPECT_EQ(result.rfind("Status=0\nStatusDescription=Success", 0), 0u) << result;
    EXPECT_NE(result.find(c.also), std::string::npos) << result;
    EXPECT_NE(m_stack->Control("trace").find('>'), std::string::npos) << "nothing reached it";
  }
  EXPECT_EQ(Call(object, "CheckBRIXON"), "1");
  EXPECT_EQ(Call(object, "Cancel"), "") << "nothing pending: nothing to see";
}

// The page's script: Cancel on the object, from a window message.
LRESULT PageProcedure(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_USER) {
    VARIANT ignored;
    qvx::browser::CallByName(static_cast<IDispatch*>(GetWindowUserData(window)), "Cancel", {},
                             &ignored);
    VariantClear(&ignored);
  }
  return 0;
}

TEST_F(PluginOverPcscd, AReentrantCancelEndsACommandWhoseCustomerNeverAnswers) {
  m_stack->Control("customer never");
  CComPtr<IDispatch> object = PageObject();
  ASSERT_TRUE(object);
  HWND page = CreateMessageWindow(PageProcedure, object.Get());
  ASSERT_NE(page, nullptr);
  auto script = std::async(std::launch::async, [&] {
    if (DeviceWaits()) PostMessageA(page, WM_USER, 0, 0);
  });
  // The command waits on this thread; the posted message runs inside it.
  const std::string result = Call(object, "GetMode2Response");
  script.get();
  DestroyWindow(page);
  EXPECT_EQ(result, "Status=15\nStatusDescription=Cancel by other session\nResponse=");
  EXPECT_NE(m_stack->Control("state").find("waiting=no"), std::string::npos);
  m_stack->Control("customer approve 50");
  EXPECT_EQ(Call(object, "CheckConnection").rfind("Status=0\n", 0), 0u) << "device free again";
}

TEST_F(PluginOverPcscd, ThePageOfAnotherSiteGetsNoScriptSafety) {
  const ProcessResult run =
      qvx::testing::Run(Host({"--url", "https://www.brixbank.example.evil.example/", "CheckCard"}));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_EQ(run.output, "Script safety refused for https://www.brixbank.example.evil.example/.\n");
}

TEST_F(PluginOverPcscd, TwoHostsInTwoProcessesContendForTheDevice) {
  m_stack->Control("customer never");
  Child holder(Host({"--url", kBankPage, "GetMode2Response"}), {});
  ASSERT_TRUE(DeviceWaits());
  // The newcomer waits 200 ms for the device mutex, then sets the reader's
  // cancel event and waits for the rest of its 2000 ms.
  const ProcessResult newcomer = qvx::testing::Run(Host({"--url", kBankPage, "CheckConnection"}));
  const ProcessResult held = holder.Wait();
  if (newcomer.exitCode == 0) {
    EXPECT_EQ(newcomer.output.rfind("Status=0\n", 0), 0u) << newcomer.output;
    EXPECT_EQ(held.output, "Status=15\nStatusDescription=Cancel by other session\nResponse=\n");
    EXPECT_EQ(held.exitCode, 15);
  } else {
    EXPECT_NE(PluginLog().find("Timeout while trying to get exclusive access to the Quorvex2."),
              std::string::npos)
        << newcomer.output << newcomer.errors;
  }
}

TEST_F(PluginOverPcscd, AHostKilledWhileTheCustomerThinksDoesNotBlockTheNext) {
  m_stack->Control("customer never");
  Child holder(Host({"--url", kBankPage, "GetMode2Response"}), {});
  ASSERT_TRUE(DeviceWaits());
  ASSERT_EQ(::kill(holder.Pid(), SIGKILL), 0);
  EXPECT_EQ(holder.Wait().exitCode, -1) << "the holder was killed, not ended";

  // The newcomer finds the locks the holder died with; the driver aborts
  // the dead request instead of running it to the device's time-out.
  const auto killed = std::chrono::steady_clock::now();
  const ProcessResult newcomer = qvx::testing::Run(Host({"--url", kBankPage, "CheckConnection"}));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - killed);
  std::printf("CheckConnection after the host's kill: %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_EQ(newcomer.exitCode, 0) << newcomer.output << newcomer.errors;
  EXPECT_EQ(newcomer.output.rfind("Status=0\n", 0), 0u) << newcomer.output;
  EXPECT_LT(took, 1s);
  EXPECT_EQ(m_stack->Control("state").find("waiting=yes"), std::string::npos);
}

// --- the plug-in and the connector service ----------------------------

class PluginAndService : public PluginOverPcscd {
 protected:
  void SetUp() override {
    PluginOverPcscd::SetUp();
    if (m_stack == nullptr) return;
    const std::string dir = m_stack->Dir() + "/wss-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(QVX_TEST_PEM, dir + "/brixwssvr.pem",
                               std::filesystem::copy_options::overwrite_existing);
    m_port = qvx::testing::FreePorts(1).front();
    // The stack's environment is this process's: the service inherits it.
    qvx::testing::ServiceSettings settings;
    settings.ports = {m_port};
    settings.pemDirectory = dir;
    settings.stateDirectory = dir;
    m_service = std::make_unique<qvx::testing::ServiceProcess>(settings);
    ASSERT_TRUE(Eventually([&] { return Connect() != nullptr; }, 20s)) << m_stack->ServiceLog();
  }
  void TearDown() override {
    if (m_service) {
      m_service->Signal(SIGTERM);
      EXPECT_TRUE(m_service->WaitEnd(30s)) << "brixwssvr ignored SIGTERM";
    }
  }

  std::unique_ptr<qvx::client::CWssClient> Connect() const {
    qvx::client::ClientOptions options;
    options.port = m_port;
    options.caFile = QVX_TEST_PEM;
    options.timeout = 30s;
    try {
      return std::make_unique<qvx::client::CWssClient>(options);
    } catch (const std::exception&) {
      return nullptr;
    }
  }

  std::uint16_t m_port = 0;
  std::unique_ptr<qvx::testing::ServiceProcess> m_service;
};

TEST_F(PluginAndService, TheServiceTakesTheDeviceFromThePlugin) {
  m_stack->Control("customer never");
  Child holder(Host({"--url", kBankPage, "GetMode2Response"}), {});
  ASSERT_TRUE(DeviceWaits());
  auto page = Connect();
  ASSERT_NE(page, nullptr);
  const std::string reply = page->Request(R"({"Name":1,"Params":[]})");
  EXPECT_EQ(reply.rfind("Status=0\n", 0), 0u) << reply;
  const ProcessResult held = holder.Wait();
  EXPECT_EQ(held.output, "Status=15\nStatusDescription=Cancel by other session\nResponse=\n");
  EXPECT_EQ(held.exitCode, 15);
}

TEST_F(PluginAndService, ThePluginTakesTheDeviceFromTheService) {
  m_stack->Control("customer never");
  auto page = Connect();
  ASSERT_NE(page, nullptr);
  page->SendText(R"({"Name":3,"Params":["0002CCDD","nl"]})");
  ASSERT_TRUE(DeviceWaits());
  const ProcessResult plugin = qvx::testing::Run(Host({"--url", kBankPage, "CheckConnection"}));
  EXPECT_EQ(plugin.exitCode, 0) << plugin.output << plugin.errors;
  EXPECT_EQ(plugin.output.rfind("Status=0\n", 0), 0u) << plugin.output;
  const std::optional<std::string> reply = page->Receive(10s);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->rfind("Status=15\n", 0), 0u) << *reply;
}

}  // namespace
