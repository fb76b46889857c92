// What a host finds the reader by, and the event it sets to cancel the
// request the driver has pending on the reader.
#pragma once

#include <string>

namespace qvx::contract {

// Every name the resource manager lists for the reader begins with this (the
// driver bundle's friendly name); pcscd appends the device strings and the
// index.
inline constexpr char kReaderNamePrefix[] = "Meridel Quorvex2_Reader";

// The driver watches this named event for each of its readers; a host sets
// it to end the device operation another connection has pending.
inline std::string CancelEventName(const std::string& readerName) {
  return "Global\\" + readerName + "_cancel_event";
}

}  // namespace qvx::contract
