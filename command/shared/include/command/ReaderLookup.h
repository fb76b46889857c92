// The two steps every host takes to reach the device over PC/SC: finding
// the reader by the prefix of its name, and connecting to it in direct
// share mode while another session may hold it.
#pragma once

#include <functional>
#include <string>

#include "platform/SCard.h"

namespace qvx {

constexpr int kConnectAttempts = 5;
constexpr unsigned kConnectRetryDelayMs = 100;

// The first reader whose name begins with the reader-name prefix goes to
// `name`, which stays empty when none does. Returns the listing's result.
::LONG FindReaderName(platform::ISCard& scard, ::SCARDCONTEXT context, std::string& name);

// Connects in direct share mode. While another session holds the reader
// (a sharing violation) it tries again after 100 ms, five attempts in all,
// and asks the holder to give way once, before the second. Returns the
// last attempt's result; `card` stays 0 unless it succeeded. Whatever
// askHolderToCancel raises ends the connect.
::LONG ConnectDirectShare(platform::ISCard& scard, ::SCARDCONTEXT context,
                          const std::string& reader, ::SCARDHANDLE& card,
                          const std::function<void()>& askHolderToCancel);

}  // namespace qvx
