// Fuzz entry: the driver's handling of what the device sends. A started
// device (its start-up card status is answered) runs one request whose
// kind the first input byte picks, while the rest of the input is
// everything the device sends back, packet by packet (see FuzzLowerEdge.h);
// then the last error is read and the device is removed. Besides not
// failing, every request must end and never return more than asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <stdlib.h>

#include "FuzzLowerEdge.h"
#include "FuzzSeeds.h"
#include "device/ChannelDevice.h"
#include "device/UnitBitmap.h"
#include "reader/ServedVendorCodes.h"

namespace {

using qvx::driver::Packet;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The cancel events are machine-wide named objects: a private namespace.
void UsePrivateObjectDirectory() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvx-fuzz-XXXXXX").string();
    Require(::mkdtemp(pattern.data()) != nullptr);
    ::setenv("QVX_OBJECT_DIR", (pattern + "/objects").c_str(), 1);
    static const std::string dir = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    });
  });
}

struct Request {
  std::uint32_t code;  // a vendor code, or 0 for a smart-card function
  std::vector<std::uint8_t> input;
};

// Valid inputs of each vendor request, so the device's answers are what
// is exercised; the card functions follow them.
const std::vector<Request>& Requests() {
  static const std::vector<Request> requests = [] {
    std::vector<std::uint8_t> elements = {0x00, 0x03, 0xCC, 0xDD, 0xEE, 0x01, 0x44};
    elements.insert(elements.end(), 68, 'A');
    elements.insert(elements.end(), {0x00, 0x01});
    return std::vector<Request>{
        {qvx::driver::kCheckDevice, {}},
        {qvx::driver::kCheckCard, {'n', 'l'}},
        {qvx::driver::kGetResponse, elements},
        {qvx::driver::kGetMode1Response, {0x04, 0x12, 0x34, 0x56, 0x78}},
        {qvx::driver::kGetMode1Response, {0x02, 0x12, 0x34, 0x09, 0x78, 0, 0, 0, 0x01, 0x23, 0x45}},
        {qvx::driver::kGetMode2Response, {}},
        {qvx::driver::kDisplayResult, {0x07, 'n', 'l'}},
    };
  }();
  return requests;
}
constexpr std::size_t kCardFunctions = 4;  // cold reset, warm reset, power down, transmit

void RunCardFunction(qvx::driver::CDevice& device, std::size_t which) {
  std::uint8_t out[300];
  std::size_t returned = 0;
  if (which < 3) {
    const qvx::driver::PowerAction actions[] = {qvx::driver::PowerAction::ColdReset,
                                                qvx::driver::PowerAction::WarmReset,
                                                qvx::driver::PowerAction::PowerDown};
    device.CardPower(actions[which], out, 33, &returned);
    Require(returned <= 33);
    return;
  }
  device.CardPower(qvx::driver::PowerAction::ColdReset, out, 33, &returned);
  const std::uint8_t apdu[] = {0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00};
  returned = 0;
  device.Transmit(apdu, sizeof apdu, out, 258, &returned);
  Require(returned <= 258);
}

}  // namespace

std::vector<std::string> FuzzSeeds() {
  auto packet = [](std::initializer_list<int> bytes) {
    std::string p(8, '\0');
    std::size_t i = 0;
    for (const int b : bytes) p[i++] = static_cast<char>(b);
    return p;
  };
  const std::string one = "\x01";
  return {
      // check device: response code 5, "01.20" and a zero byte
      std::string(1, '\0') + one + packet({1, 3, 5, 6, 0}) + one +
          packet({0, 6, '0', '1', '.', '2', '0', 0}),
      // check card: answered with an error byte (code 8)
      std::string(1, '\1') + one + packet({1, 3, 1, 1, 0}) + one + packet({0, 1, 1}) +
          std::string(2, '\0') + one + packet({1, 3, 8, 1, 0}) + one + packet({0, 1, 52}),
      // mode 2: the customer cancels; then the aborted event
      std::string(1, '\5') + one + packet({1, 3, 1, 1, 0}) + one + packet({0, 1, 1}) + one +
          packet({1, 3, 7}) + one + packet({1, 3, 0x0B}),
      // a reset: card status and an ATR
      std::string(1, '\7') + one + packet({2, 0x81, 1}) + one + packet({0, 2, 0x3B, 0x00}),
  };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  UsePrivateObjectDirectory();
  const std::size_t kinds = Requests().size() + kCardFunctions;
  const std::size_t kind = data[0] % kinds;

  // The card status the start waits for, then the input.
  auto bursts = qvx::fuzz::BurstsFrom(data + 1, size - 1);
  Packet inserted{0x02, 0x81, 0x01};
  bursts.push_front({inserted});

  static qvx::driver::CUnitBitmap units;
  qvx::driver::CDevice::Options options;
  options.units = &units;
  options.writeRoundMs = 50;
  auto device = qvx::driver::AddChannelDevice(
      std::make_unique<qvx::fuzz::CFuzzLowerEdge>(std::move(bursts)), 0, options);
  Require(device != nullptr);
  if (device->Start() == qvx::driver::STATUS_SUCCESS) {
    if (kind < Requests().size()) {
      const Request& request = Requests()[kind];
      std::uint8_t out[300];
      std::size_t returned = 0;
      device->DeviceControl(request.code, request.input.data(), request.input.size(), out, 262,
                            &returned);
      Require(returned <= 262);
    } else {
      RunCardFunction(*device, kind - Requests().size());
    }
    std::uint8_t record[4];
    std::size_t returned = 0;
    device->DeviceControl(qvx::driver::kGetLastError, nullptr, 0, record, sizeof record, &returned);
    Require(returned <= sizeof record);
  }
  device->Remove();
  return 0;
}
