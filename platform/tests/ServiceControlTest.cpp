// Service installation, status and stop through the unit directory and the
// state file, redirected into a temporary directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "PlatformTestSupport.h"
#include "platform/Service.h"

namespace platform {
namespace {

using qvx::testing::PrivateDir;
using qvx::testing::ScopedEnv;

class ServiceControlTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& path) const {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string UnitText(const char* name) const {
    return Read(m_dir.Path() + "/" + name + ".service");
  }

  SC_HANDLE Manager(DWORD access = SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE) const {
    return OpenSCManagerA(nullptr, nullptr, access);
  }

  SC_HANDLE Create(SC_HANDLE manager, const char* name, const char* path, DWORD start,
                   const char* account) const {
    return CreateServiceA(manager, name, "Test Display Name", SERVICE_QUERY_STATUS,
                          SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_NORMAL, path, nullptr,
                          nullptr, "", account, nullptr);
  }

  void WriteState(const char* name, pid_t pid, DWORD state) const {
    std::ofstream(m_dir.Path() + "/" + name + ".state")
        << "PID=" << pid << "\nSTATE=" << state << "\nCONTROLS_ACCEPTED=5\n";
  }

  PrivateDir m_dir;
  ScopedEnv m_units{"QVX_SYSTEMD_UNIT_DIR", m_dir.Path().c_str()};
  ScopedEnv m_states{"QVX_SERVICE_STATE_DIR", m_dir.Path().c_str()};
};

TEST_F(ServiceControlTest, UnitFollowsStartTypeAndAccount) {
  const struct {
    const char* name;
    const char* path;
    DWORD start;
    const char* account;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {"svc-auto",
       "\"/opt/qvx/svc\"",
       SERVICE_AUTO_START,
       "NT AUTHORITY\\LOCAL SERVICE",
       {"Description=Test Display Name\n", "Type=notify\n", "ExecStart=\"/opt/qvx/svc\"\n",
        "DynamicUser=yes\n", "StateDirectory=svc-auto\n",
        "Environment=ALLUSERSPROFILE=/var/lib/svc-auto\n", "RuntimeDirectory=svc-auto\n",
        "[Install]\nWantedBy=multi-user.target\n"},
       {}},
      {"svc-manual",
       "/opt/my app/50%\"x\\svc",
       SERVICE_DEMAND_START,
       nullptr,
       {"ExecStart=\"/opt/my app/50%%\\\"x\\\\svc\"\n"},
       {"DynamicUser", "[Install]", "StateDirectory"}},
  };
  SC_HANDLE manager = Manager();
  ASSERT_NE(manager, nullptr) << GetLastError();
  for (const auto& c : cases) {
    SC_HANDLE service = Create(manager, c.name, c.path, c.start, c.account);
    ASSERT_NE(service, nullptr) << c.name << ": " << GetLastError();
    const std::string unit = UnitText(c.name);
    for (const auto& text : c.present)
      EXPECT_NE(unit.find(text), std::string::npos) << c.name << ": " << text;
    for (const auto& text : c.absent)
      EXPECT_EQ(unit.find(text), std::string::npos) << c.name << ": " << text;
    EXPECT_TRUE(CloseServiceHandle(service));
  }
  EXPECT_TRUE(CloseServiceHandle(manager));
}

TEST_F(ServiceControlTest, InstallRemoveRoundTripWithWindowsErrors) {
  SC_HANDLE manager = Manager();
  ASSERT_NE(manager, nullptr);
  SC_HANDLE service = Create(manager, "svc", "/opt/a", SERVICE_AUTO_START, nullptr);
  ASSERT_NE(service, nullptr);
  CloseServiceHandle(service);
  const std::string first = UnitText("svc");

  EXPECT_EQ(Create(manager, "svc", "/opt/b", SERVICE_AUTO_START, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(UnitText("svc"), first) << "an installed unit is never replaced";

  service = OpenServiceA(manager, "svc", DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_TRUE(DeleteService(service));
  CloseServiceHandle(service);

  EXPECT_EQ(OpenServiceA(manager, "svc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(OpenServiceA(manager, "../svc", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  CloseServiceHandle(manager);

  ScopedEnv missing("QVX_SYSTEMD_UNIT_DIR", m_dir / "absent");
  EXPECT_EQ(Manager(), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(ServiceControlTest, CredentialNeedsChangeAccessAndAPlainName) {
  SC_HANDLE manager = Manager();
  CloseServiceHandle(Create(manager, "svc", "/opt/a", SERVICE_AUTO_START, nullptr));
  SC_HANDLE readOnly = OpenServiceA(manager, "svc", SERVICE_QUERY_STATUS);
  EXPECT_FALSE(AddServiceCredential(readOnly, "key.pem", "/opt/key.pem"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  SC_HANDLE service = OpenServiceA(manager, "svc", SERVICE_CHANGE_CONFIG);
  for (const auto& [name, path] : {std::pair<const char*, const char*>{"../key", "/opt/key"},
                                   {"key pem", "/opt/key"},
                                   {"key", "relative/key"}}) {
    EXPECT_FALSE(AddServiceCredential(service, name, path)) << name << " " << path;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_TRUE(AddServiceCredential(service, "key.pem", "/opt/100%/key.pem"));
  EXPECT_NE(UnitText("svc").find("[Service]\nLoadCredential=key.pem:/opt/100%%/key.pem\n"),
            std::string::npos)
      << UnitText("svc");
  CloseServiceHandle(readOnly);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

TEST_F(ServiceControlTest, StatusAndStopFollowTheStateFile) {
  SC_HANDLE manager = Manager();
  SC_HANDLE created = Create(manager, "svc", "/opt/a", SERVICE_AUTO_START, nullptr);
  ASSERT_NE(created, nullptr);
  CloseServiceHandle(created);
  SC_HANDLE service = OpenServiceA(manager, "svc", SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(service, nullptr);

  // A child that records SIGTERM by its exit status stands in for the service.
  // It says when its handler is in place: a SIGTERM before that would kill it
  // with the default action instead.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGTERM, [](int) { ::_exit(42); });
    const char byte = 'r';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the child did not start";
  ::close(ready[0]);
  SERVICE_STATUS status{};
  const struct {
    pid_t pid;
    DWORD written;
    DWORD seen;
  } cases[] = {
      {child, SERVICE_RUNNING, SERVICE_RUNNING},
      {child, SERVICE_STOP_PENDING, SERVICE_STOP_PENDING},
      {999999, SERVICE_RUNNING, SERVICE_STOPPED},  // its process is gone
  };
  for (const auto& c : cases) {
    WriteState("svc", c.pid, c.written);
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, c.seen) << c.written;
  }

  WriteState("svc", child, SERVICE_RUNNING);
  EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  int wstatus = 0;
  ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
  EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 42) << "the service got SIGTERM";
  EXPECT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);

  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

}  // namespace
}  // namespace platform
