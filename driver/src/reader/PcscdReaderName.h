// The reader's name as the resource manager lists it, and the name of the
// reader's cancel event that host processes set.
//
// pcscd builds the name from the bundle's friendly name; for a device it
// found through USB hotplug it adds what the device calls itself: " [the
// interface string]", then " (the serial number)" unless the interface
// string already carries it. Last come the text of the environment variable
// PCSCLITE_FILTER_EXTEND_READER_NAMES (pcscd's own environment, which the
// driver shares) and " %02X 00": the reader index, which pcscd also hands to
// the driver in the high word of the Lun, and slot 0. A host derives the
// cancel event from that listed name, so the driver must build the same.
#pragma once

#include <cstdint>
#include <string>

#include "contract/ReaderName.h"
#include "transport/LowerEdge.h"

namespace qvx::driver {

// ifdFriendlyName of driver/config/Info.plist, and the FRIENDLYNAME that
// reader.conf entries for the simulator use.
constexpr const char* kFriendlyName = qvx::contract::kReaderNamePrefix;

// The name pcscd lists for the reader with these strings and index;
// `extension` is what PCSCLITE_FILTER_EXTEND_READER_NAMES holds.
std::string ListedReaderName(const DeviceNameStrings& strings, std::uint32_t readerIndex,
                             const std::string& extension = std::string());

// The extension from this process's environment ("" when unset).
std::string ReaderNameExtension();

// A reader without device strings (reader.conf): "Meridel Quorvex2_Reader
// 00 00" for the first reader of the driver.
std::string ReaderName(std::uint32_t readerIndex);

// The cancel event of the reader pcscd lists by that name or index.
using qvx::contract::CancelEventName;
std::string CancelEventName(std::uint32_t readerIndex);

}  // namespace qvx::driver
