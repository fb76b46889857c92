// brixonhost: plays a browser page for the BRIXON object. It creates the
// object by its ProgID, gives it a page site with a URL and a zone, asks it
// to be safe for scripting, and calls one member late-bound by name from a
// window message of its own message loop, as page script runs. The
// command's wait keeps that loop's messages flowing, so a cancel posted
// meanwhile (--cancel-after, --cancel-on-line) reaches the object
// re-entrantly.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/Page.h"
#include "browser/Script.h"
#include "platform/Messages.h"
#include "platform/Module.h"
#include "platform/com/Creation.h"

namespace {

using namespace platform;
using qvx::browser::ScriptArgument;

constexpr int kExitUsage = 64;        // EX_USAGE
constexpr int kExitUnavailable = 69;  // EX_UNAVAILABLE: no object, no call
constexpr int kExitRefused = 77;      // EX_NOPERM: not safe for this page
constexpr UINT kRunScript = WM_USER + 1;
constexpr UINT kCancelScript = WM_USER + 2;
constexpr long kOnLine = -2;  // --cancel-on-line

void Usage() {
  std::fprintf(stderr,
               "usage: brixonhost [--register MODULE] [--url URL] [--zone N]\n"
               "                  [--cancel-after MS | --cancel-on-line] [--null N]\n"
               "                  MEMBER [ARGUMENT ...]\n"
               "       brixonhost --register MODULE | --unregister MODULE\n"
               "Calls MEMBER of BRIXON.Application from a page at URL (default\n"
               "https://www.brixbank.example/, zone 3) and prints its result. --null N passes\n"
               "argument N (from 1) as a null string. --cancel-on-line calls Cancel when a line\n"
               "arrives on standard input. Exit: the result's status (0 without one), 64 usage,\n"
               "69 no object or failed call, 77 script safety refused.\n");
}

struct Options {
  std::string url = "https://www.brixbank.example/";
  DWORD zone = URLZONE_INTERNET;
  long cancelAfterMs = -1;
  std::string registerModule;
  std::string unregisterModule;
  std::string member;
  std::vector<ScriptArgument> arguments;
};

bool ParseNumber(const char* text, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0;
}

bool Parse(int argc, char** argv, Options* options) {
  std::vector<long> nulls;
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
    const std::string option = argv[i];
    if (option == "--cancel-on-line") {
      options->cancelAfterMs = kOnLine;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    long number = 0;
    if (option == "--url") {
      options->url = value;
    } else if (option == "--zone" && ParseNumber(value, &number)) {
      options->zone = static_cast<DWORD>(number);
    } else if (option == "--cancel-after" && ParseNumber(value, &number)) {
      options->cancelAfterMs = number;
    } else if (option == "--null" && ParseNumber(value, &number) && number > 0) {
      nulls.push_back(number);
    } else if (option == "--register") {
      options->registerModule = value;
    } else if (option == "--unregister") {
      options->unregisterModule = value;
    } else {
      return false;
    }
  }
  if (i < argc) options->member = argv[i++];
  for (; i < argc; ++i) options->arguments.push_back({argv[i], false});
  for (const long n : nulls) {
    if (static_cast<std::size_t>(n) > options->arguments.size()) return false;
    options->arguments[static_cast<std::size_t>(n - 1)].null = true;
  }
  // Registration alone is a whole call too.
  return !options->member.empty() || !options->registerModule.empty() ||
         !options->unregisterModule.empty();
}

// DllRegisterServer or DllUnregisterServer of a module, as regsvr32 does.
bool RunRegistrar(const std::string& module, const char* entry) {
  const platform::HMODULE handle = LoadLibrary(module.c_str());
  if (handle == nullptr) {
    std::fprintf(stderr, "Cannot load %s: error %u\n", module.c_str(),
                 static_cast<unsigned>(GetLastError()));
    return false;
  }
  // Through void*: a FARPROC is a function of another type.
  auto function = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(handle, entry)));
  const HRESULT hr = function != nullptr ? function() : CO_E_ERRORINDLL;
  // The module stays loaded, as CoCreateInstance keeps it.
  if (FAILED(hr)) {
    std::fprintf(stderr, "%s(%s) failed: 0x%08X\n", entry, module.c_str(),
                 static_cast<unsigned>(hr));
    return false;
  }
  std::printf("%s(%s) succeeded.\n", entry, module.c_str());
  return true;
}

int StatusOf(const std::string& result) {
  if (result.rfind("Status=", 0) != 0) return 0;
  return std::atoi(result.c_str() + 7);
}

// What the page's script does, on the loop's thread.
struct Script {
  IDispatch* object;
  const Options* options;
  int exitCode = 0;
};

LRESULT CALLBACK PageProcedure(HWND window, UINT message, WPARAM, LPARAM) {
  auto* script = static_cast<Script*>(GetWindowUserData(window));
  if (message == kCancelScript) {
    VARIANT ignored;
    const HRESULT hr = qvx::browser::CallByName(script->object, "Cancel", {}, &ignored);
    VariantClear(&ignored);
    std::fprintf(stderr, "Cancel called: 0x%08X\n", static_cast<unsigned>(hr));
  } else if (message == kRunScript) {
    VARIANT result;
    const HRESULT hr = qvx::browser::CallByName(script->object, script->options->member,
                                                script->options->arguments, &result);
    if (FAILED(hr)) {
      std::fprintf(stderr, "%s failed: 0x%08X\n", script->options->member.c_str(),
                   static_cast<unsigned>(hr));
      script->exitCode = kExitUnavailable;
    } else {
      const std::string text = qvx::browser::ScriptText(result);
      VariantClear(&result);
      std::printf("%s\n", text.c_str());
      script->exitCode = StatusOf(text);
    }
    std::fflush(stdout);
    PostQuitMessage(script->exitCode);
  }
  return 0;
}

// Posts the page's Cancel after a while unless told to stop first, or when
// a line arrives on standard input: a test's handshake, sent once the
// command is known to wait.
class CCancelTimer {
 public:
  CCancelTimer(HWND window, long afterMs) : m_state(std::make_shared<State>()) {
    if (afterMs == kOnLine) {
      // A read cannot be called off: that thread is left to the process's
      // end, and posts only while the page's window lives.
      std::thread([state = m_state, window] {
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) return;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->stop) PostMessageA(window, kCancelScript, 0, 0);
      }).detach();
    } else if (afterMs >= 0) {
      m_thread = std::thread([state = m_state, window, afterMs] {
        std::unique_lock<std::mutex> lock(state->mutex);
        if (!state->changed.wait_for(lock, std::chrono::milliseconds(afterMs),
                                     [&] { return state->stop; })) {
          PostMessageA(window, kCancelScript, 0, 0);
        }
      });
    }
  }
  ~CCancelTimer() {
    {
      std::lock_guard<std::mutex> lock(m_state->mutex);
      m_state->stop = true;
    }
    m_state->changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }
  CCancelTimer(const CCancelTimer&) = delete;
  CCancelTimer& operator=(const CCancelTimer&) = delete;

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
  };
  std::shared_ptr<State> m_state;
  std::thread m_thread;
};

int RunPage(const Options& options) {
  CLSID clsid{};
  CComPtr<IUnknown> object;
  HRESULT hr = CLSIDFromProgID(OLESTR("BRIXON.Application"), &clsid);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.AsOut());
  }
  if (FAILED(hr)) {
    std::fprintf(stderr, "Cannot create BRIXON.Application: 0x%08X\n", static_cast<unsigned>(hr));
    return kExitUnavailable;
  }
  CComPtr<IUnknown> page;
  page.Attach(qvx::browser::CPage::Create(options.url, options.zone));
  CComPtr<IObjectWithSite> sited;
  if (SUCCEEDED(object->QueryInterface(IID_IObjectWithSite, sited.AsOut()))) {
    sited->SetSite(page);
  }
  CComPtr<IObjectSafety> safety;
  hr = object->QueryInterface(IID_IObjectSafety, safety.AsOut());
  if (SUCCEEDED(hr)) {
    hr = safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                           INTERFACESAFE_FOR_UNTRUSTED_CALLER);
  }
  int exitCode = kExitRefused;
  if (FAILED(hr)) {
    std::printf("Script safety refused for %s.\n", options.url.c_str());
  } else {
    CComPtr<IDispatch> dispatch;
    object->QueryInterface(IID_IDispatch, dispatch.AsOut());
    Script script{dispatch, &options};
    HWND window = CreateMessageWindow(PageProcedure, &script);
    if (window == nullptr || !PostMessageA(window, kRunScript, 0, 0)) {
      std::fprintf(stderr, "No page window.\n");
      return kExitUnavailable;
    }
    {
      CCancelTimer timer(window, options.cancelAfterMs);
      MSG message;
      while (GetMessage(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
    DestroyWindow(window);
    exitCode = script.exitCode;
  }
  if (sited) sited->SetSite(nullptr);
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    Usage();
    return kExitUsage;
  }
  CoInitialize(nullptr);
  int exitCode = 0;
  if (!options.unregisterModule.empty() &&
      !RunRegistrar(options.unregisterModule, "DllUnregisterServer")) {
    exitCode = kExitUnavailable;
  } else if (!options.registerModule.empty() &&
             !RunRegistrar(options.registerModule, "DllRegisterServer")) {
    exitCode = kExitUnavailable;
  } else if (!options.member.empty()) {
    exitCode = RunPage(options);
  }
  CoUninitialize();
  return exitCode;
}
