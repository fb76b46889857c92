#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "PrivateDir.h"
#include "TestDevice.h"
#include "platform/DeviceIo.h"

namespace {

using namespace platform;
using qvx::testing::CTestDevice;

constexpr GUID kClass{0x1a2b3c4d, 0x1111, 0x2222, {0x80, 1, 2, 3, 4, 5, 6, 7}};
constexpr GUID kOtherClass{0x1a2b3c4d, 0x1111, 0x2222, {0x80, 1, 2, 3, 4, 5, 6, 8}};

class DeviceIoTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir.Export("QVX_DEVICE_DIR"); }
  void TearDown() override { m_devices.clear(); }
  CTestDevice& AddDevice(const GUID& guid, const std::string& name, CTestDevice::Handler handler) {
    m_devices.push_back(std::make_unique<CTestDevice>(m_root, guid, name, std::move(handler)));
    return *m_devices.back();
  }
  static CTestDevice::Reply Echo(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                 std::uint32_t) {
    std::vector<std::uint8_t> output(input);
    output.push_back(static_cast<std::uint8_t>(code));
    return {0, output};
  }

  // Device paths the SetupDi calls list for a class, as the plug-in walks them.
  static std::vector<std::string> List(const GUID& guid) {
    std::vector<std::string> paths;
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
      SP_DEVICE_INTERFACE_DATA iface{};
      iface.cbSize = sizeof iface;
      for (DWORD j = 0; SetupDiEnumDeviceInterfaces(set, &device, &guid, j, &iface); ++j) {
        DWORD size = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &size, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        std::vector<std::uint64_t> block((size + 7) / 8, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, size, nullptr, nullptr));
        paths.emplace_back(detail->DevicePath);
      }
      EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    }
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return paths;
  }

  qvx::testing::PrivateDir m_dir{"qvx-deviceio"};
  const std::string m_root = m_dir.Path();
  std::vector<std::unique_ptr<CTestDevice>> m_devices;
};

TEST_F(DeviceIoTest, ListsTheSocketsOfItsClassInOrder) {
  EXPECT_TRUE(List(kClass).empty()) << "no class directory: no devices";
  const std::string second = AddDevice(kClass, "b", Echo).Path();
  const std::string first = AddDevice(kClass, "a", Echo).Path();
  AddDevice(kOtherClass, "c", Echo);
  EXPECT_EQ(List(kClass), (std::vector<std::string>{first, second}));
}

TEST_F(DeviceIoTest, ControlRequestsReachTheDriverAndItsErrorsComeBack) {
  CTestDevice& device = AddDevice(
      kClass, "dev",
      [](std::uint32_t code, const std::vector<std::uint8_t>& input, std::uint32_t capacity) {
        if (code == 0x222028) return CTestDevice::Reply{0, {0, 5, 0, 0}};
        if (code == 0x222004) return CTestDevice::Reply{ERROR_INVALID_PARAMETER, {}};
        return Echo(code, input, capacity);
      });
  HDEVICE file =
      CreateFileA(device.Path().c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, nullptr);
  std::uint8_t out[16] = {};
  DWORD returned = 99;
  const std::uint8_t in[] = {1, 2, 3};
  ASSERT_TRUE(DeviceIoControl(file, 0x222008, in, sizeof in, out, sizeof out, &returned, nullptr));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + returned),
            (std::vector<std::uint8_t>{1, 2, 3, 0x08}));
  ASSERT_TRUE(DeviceIoControl(file, 0x222028, nullptr, 0, out, 4, &returned, nullptr));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(out[1], 5);
  EXPECT_FALSE(DeviceIoControl(file, 0x222004, nullptr, 0, out, sizeof out, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(DeviceIoControl(file, 0x222008, nullptr, 0, out, sizeof out, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(device.Received(), (std::vector<std::uint32_t>{0x222008, 0x222028, 0x222004}));

  EXPECT_EQ(
      CreateFileA((m_root + "/none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceIoTest, ClosingAHandleEndsTheRequestPendingOnIt) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  CTestDevice& device =
      AddDevice(kClass, "dev",
                [released](std::uint32_t code, const std::vector<std::uint8_t>&, std::uint32_t) {
                  if (code == 0x222010) released.wait();  // the customer thinks
                  return CTestDevice::Reply{};
                });
  HDEVICE busy = CreateFileA(device.Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, nullptr);
  auto pending = std::async(std::launch::async, [busy] {
    std::uint8_t out[8];
    DWORD returned = 0;
    const bool ok =
        DeviceIoControl(busy, 0x222010, nullptr, 0, out, sizeof out, &returned, nullptr);
    return ok ? ERROR_SUCCESS : GetLastError();
  });
  // A second handle is served while the first waits.
  HDEVICE other = CreateFileA(device.Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(DeviceIoControl(other, 0x22201C, nullptr, 0, nullptr, 0, nullptr, nullptr));
  EXPECT_TRUE(CloseHandle(other));
  while (device.Received().size() < 2) std::this_thread::yield();  // the request is pending
  EXPECT_TRUE(CloseHandle(busy));
  EXPECT_EQ(pending.get(), ERROR_OPERATION_ABORTED);
  release.set_value();
}

TEST(VersionTest, NtFamilyUnlessATestAsksForThe9xFamily) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info)) << "size not set";
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  OverridePlatformIdForTesting(VER_PLATFORM_WIN32_WINDOWS);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
  OverridePlatformIdForTesting(-1);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
}

}  // namespace
