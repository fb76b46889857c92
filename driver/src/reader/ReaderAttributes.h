// What the reader tells the smart-card service about itself: the vendor
// attributes and reader capabilities of the smart-card extension.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qvx::driver {

constexpr char kVendorName[] = "Meridel";
constexpr char kIfdType[] = "Quorvex2_Reader";
constexpr std::uint32_t kSmclibVersion = 0x150;

constexpr std::uint32_t kClockKhz = 2000;
// The clock divided by 372, times 1, 2 and 4.
constexpr std::uint32_t DataRate(std::uint32_t factor) { return kClockKhz * 1000u * factor / 372u; }

struct ReaderCapabilities {
  std::uint32_t supportedProtocols = 3;  // T=0 | T=1
  std::uint32_t readerType = 0x20;       // USB
  std::uint32_t mechProperties = 0;
  std::uint32_t clkFrequencyDefault = kClockKhz;
  std::uint32_t clkFrequencyMax = kClockKhz;
  std::uint32_t dataRateDefault = DataRate(1);
  std::uint32_t dataRateMax = DataRate(4);
  std::array<std::uint32_t, 3> dataRatesSupported{DataRate(1), DataRate(2), DataRate(4)};
  std::uint32_t maxIfsd = 254;
};

struct SmartcardExtension {
  std::uint32_t version = kSmclibVersion;
  const char* vendorName = kVendorName;
  const char* ifdType = kIfdType;
  std::uint32_t unitNo = 0;
  ReaderCapabilities capabilities;
  std::size_t requestBufferSize = 288;
  std::size_t replyBufferSize = 288;
};

static_assert(DataRate(1) == 5376 && DataRate(2) == 10752 && DataRate(4) == 21505,
              "data rates follow from the 2 MHz clock");

}  // namespace qvx::driver
