// The reader's name as the resource manager lists it, and the name of the
// reader's cancel event that host processes set.
#pragma once

#include <cstdint>
#include <string>

namespace qvxrdr {

// "Meridel Quorvex2_Reader 00 00" for the first reader of the driver: the
// reader index (the high word of the logical unit) and slot 0.
std::string ReaderName(std::uint32_t readerIndex);

// "Global\" + reader name + "_cancel_event".
std::string CancelEventName(std::uint32_t readerIndex);

}  // namespace qvxrdr
