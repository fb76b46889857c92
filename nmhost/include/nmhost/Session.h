// CSession: the requests of one page connection (the browser starts one host
// per connection). One command at a time runs on a worker thread, so the
// reading thread stays free for Cancel while the device waits.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "protocol/DispatchCommand.h"

namespace qvx::nmhost {

// Request:  {"id":N,"Name":4,"Params":["12345678","",""]}   (id optional)
// Reply:    {"id":N,"Result":"Status=0\nStatusDescription=Success\n..."}
// Refusal:  {"id":N,"Error":"..."}   (no id when the request had none usable)
class CSession {
 public:
  // `send` takes one reply (JSON text); it is called from the reading thread
  // and from the worker, never from both at once.
  using Send = std::function<void(const std::string& json)>;

  CSession(protocol::CommandFactory factory, Send send);
  ~CSession();
  CSession(const CSession&) = delete;
  CSession& operator=(const CSession&) = delete;

  // One message as it came from the browser.
  void Handle(const std::string& message);

  // The browser closed the connection: a request still waiting on the device
  // is cancelled there, and the worker is waited for.
  void Finish();

  // Whether a command is running (for tests).
  bool Busy() const;

 private:
  void Refuse(const std::string& id, const std::string& why);
  void Reply(const std::string& json);

  const protocol::CommandFactory m_factory;
  const Send m_send;

  mutable std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_busy = false;
  std::thread m_worker;
  std::mutex m_sendMutex;
};

// The reply texts, exposed for tests.
std::string ResultReply(const std::string& id, const std::string& result);
std::string ErrorReply(const std::string& id, const std::string& why);
// A result text as a JSON string. Bytes that are not UTF-8 are taken as
// Latin-1, so the reply is always valid UTF-8 for the browser.
std::string JsonString(const std::string& text);

}  // namespace qvx::nmhost
