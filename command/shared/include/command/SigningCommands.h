// The three signing commands, GetResponse, GetMode1Response and
// GetMode2Response, once for every revision: each is its exchange inside
// the revision's command boundary, and its one value is the key Response.
//
// A revision's command object derives from CSigningCommands<itself>,
// befriends it, and gives it SigningChannel() (the device channel),
// SigningRevision() and ResponseCommand(label, exchange) (its boundary
// around an exchange that returns the response bytes).
#pragma once

#include <string>

#include "command/Exchanges.h"
#include "command/Results.h"

namespace qvx {

template <typename Commands>
class CSigningCommands {
 public:
  std::string GetResponse(const std::string& signData, const std::string& language) {
    Commands& self = Self();
    return self.ResponseCommand(kGetResponseLabel, [&] {
      return ExchangeGetResponse(self.SigningChannel(), self.SigningRevision(), signData, language);
    });
  }

  std::string GetMode1Response(const std::string& challenge, const std::string& currency,
                               const std::string& amount) {
    Commands& self = Self();
    return self.ResponseCommand(kGetMode1ResponseLabel, [&] {
      return ExchangeGetMode1Response(self.SigningChannel(), self.SigningRevision(), challenge,
                                      currency, amount);
    });
  }

  std::string GetMode2Response() {
    Commands& self = Self();
    return self.ResponseCommand(kGetMode2ResponseLabel,
                                [&] { return ExchangeGetMode2Response(self.SigningChannel()); });
  }

 protected:
  CSigningCommands() = default;
  ~CSigningCommands() = default;
  CSigningCommands(const CSigningCommands&) = default;
  CSigningCommands& operator=(const CSigningCommands&) = default;

 private:
  Commands& Self() { return static_cast<Commands&>(*this); }
};

}  // namespace qvx
