// CQuorvex2 of the plug-in: the seven commands of revision "01.06" over the
// plug-in's reader access. The object lives as long as its COM object; it
// creates the reader access on demand. Every command returns a result text
// and never raises.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "brixon/Error.h"
#include "brixon/ReaderAccess.h"
#include "command/Channel.h"
#include "command/Checks.h"
#include "command/Results.h"
#include "command/SigningCommands.h"
#include "command/Status.h"

namespace qvx::brixon {

constexpr const char* kErrorBoxCaption = "Meridel Quorvex2 error";

// The commands run the shared exchanges over the object itself as their
// channel: it asks for the reader access only when a request is built, so a
// bad input never waits for it.
class CQuorvex2 : public CSigningCommands<CQuorvex2>, private IDeviceChannel {
 public:
  // Creates the reader access inside the "BRIXON_Create (v01.06)" trace; a
  // failure there is only logged and the next command tries again.
  explicit CQuorvex2(ReaderAccessFactory factory);
  // Deletes the reader access inside the "BRIXON_Destroy" trace; failures
  // are swallowed.
  ~CQuorvex2() override;
  CQuorvex2(const CQuorvex2&) = delete;
  CQuorvex2& operator=(const CQuorvex2&) = delete;

  // Keys Device_Version, Driver_Version, BRIXON_Version ("01.06"). Writes no
  // trace lines.
  std::string CheckConnection();
  // Keys CardId_PAN, CardId_PSN.
  std::string CheckCard(const std::string& language);
  // GetResponse, GetMode1Response, GetMode2Response: CSigningCommands.
  // Status and StatusDescription only. The number arrives as script's
  // 16-bit signed value; only 0 to 255 pass.
  std::string DisplayResult(std::int16_t messageId, const std::string& lastLogon,
                            const std::string& language);
  // Hands the cancellation to the reader access; never raises.
  void Cancel();

  // Whether a failed CheckConnection also shows its error in a system-modal
  // warning box captioned "Meridel Quorvex2 error". Off unless switched on.
  void SetErrorBox(bool show) { m_errorBox = show; }

 private:
  // The protected region of the command boundary; the caught CError (which
  // logged itself) goes to `error` when asked for.
  template <typename Steps>
  CommandOutcome Run(Steps&& steps, std::optional<CError>* error = nullptr);
  friend class CSigningCommands<CQuorvex2>;
  // The boundary of the three commands whose one value is Response.
  std::string ResponseCommand(const char* label, const std::function<Bytes()>& exchange);
  IDeviceChannel& SigningChannel() { return *this; }
  static const CRevision& SigningRevision();

  // The reader access, created when there is none; raises CError.
  IReaderAccess& Reader();
  // IDeviceChannel: the request over the reader access.
  Bytes Execute(contract::ControlIndex index, const Bytes& request) override;
  // The CheckDevice exchange; fills `versions` as far as the answer reads.
  void CheckDevice(DeviceVersions& versions);

  ReaderAccessFactory m_factory;
  std::unique_ptr<IReaderAccess> m_reader;
  bool m_errorBox = false;
};

}  // namespace qvx::brixon
