// CReader: the service's path to the signing device over PC/SC, and the
// owner of the reader's named cancel event.
#pragma once

#include <string>

#include "command/Channel.h"
#include "command/EventHandle.h"
#include "command/Log.h"
#include "command/ReaderLookup.h"
#include "platform/SCard.h"

namespace qvx {

constexpr std::size_t kAnswerBufferSize = 255;

class CReader : public IDeviceChannel {
 public:
  CReader(platform::ISCard& scard, CLog& log);
  // Disconnects and releases whatever is still held.
  ~CReader() override;
  CReader(const CReader&) = delete;
  CReader& operator=(const CReader&) = delete;

  // A failure is logged; the context stays 0 and later calls fail.
  void EstablishContext();
  // The first PC/SC reader whose name begins with the prefix; cached.
  const std::string& GetReaderName();
  // Connects in direct share mode, retrying while another session holds
  // the reader (asking it once to cancel), and holds the cancel event.
  void Open();
  // Signals the reader's cancel event if another session created it.
  void ForceCancelOtherSession();
  // Open, the request, the last-error record, Close; the reader is closed
  // again whatever happens.
  void ExecuteSCardCMD(contract::ControlIndex index, const Bytes& request, Bytes& answer);
  // Drops the cancel event and disconnects; a failure is logged unless
  // silent. Never raises.
  void Close(bool silent) noexcept;
  // Never raises.
  void ReleaseContext() noexcept;

  Bytes Execute(contract::ControlIndex index, const Bytes& request) override;

 private:
  platform::ISCard& m_scard;
  SCARDCONTEXT m_context = 0;
  SCARDHANDLE m_card = 0;
  CEventHandle m_cancelEvent;
  CLog& m_log;
  std::string m_readerName;
};

}  // namespace qvx
