#include "nmhost/Session.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "command/Log.h"
#include "command/Report.h"
#include "command/VisibleText.h"
#include "json/JsonValue.h"
#include "nmhost/Framing.h"

namespace qvx::nmhost {
namespace {

const json::WideString kIdKey = u"id";
const json::WideString kNameKey = u"Name";
const json::WideString kParamsKey = u"Params";
constexpr std::int32_t kCancelCommand = 7;
// How often Finish repeats the cancel while the worker has not ended: a
// command that had not yet reached the device when the first cancel ran
// would otherwise wait for the customer with nobody left to answer.
constexpr std::chrono::milliseconds kCancelRepeat{500};

void LogLine(std::int32_t level, const std::string& text) {
  CLog log;
  log.Append(CReport::WithMessage(kStatusSuccess, level, "", "[NM] " + text));
}

// The request's id as it goes back: an integer the page chose, rendered
// exactly; "" for none. False when an id is there but not such an integer.
bool IdText(const json::CJsonValue& document, std::string& id) {
  const json::CJsonValue* value = document.Find(kIdKey);
  if (!value) return true;
  const double number = value->Number();
  if (value->Type() != json::JsonNumber || !std::isfinite(number) || std::trunc(number) != number ||
      std::fabs(number) > 9007199254740992.0) {
    return false;
  }
  id = std::to_string(static_cast<long long>(number));
  return true;
}

}  // namespace

CSession::CSession(protocol::CommandFactory factory, Send send)
    : m_factory(std::move(factory)), m_send(std::move(send)) {}

CSession::~CSession() { Finish(); }

bool CSession::Busy() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_busy;
}

void CSession::Reply(const std::string& json) {
  std::lock_guard<std::mutex> lock(m_sendMutex);
  m_send(json);
}

void CSession::Refuse(const std::string& id, const std::string& why) {
  LogLine(LEVEL_ERROR, why);
  Reply(ErrorReply(id, why));
}

void CSession::Handle(const std::string& message) {
  if (!IsValidUtf8(message)) return Refuse("", "Request is not UTF-8 text.");
  std::unique_ptr<json::CJsonValue> document = json::ParseJson(message);
  if (!document || document->Type() != json::JsonObject) {
    LogLine(LEVEL_ERROR, "Payload: " + VisibleText(message));
    return Refuse("", "Request is not a JSON object.");
  }
  std::string id;
  if (!IdText(*document, id)) return Refuse("", "Request id is not an integer.");

  const json::CJsonValue* name = document->Find(kNameKey);
  const std::int32_t number = name && name->Type() == json::JsonNumber
                                  ? protocol::CommandNumber(name->Number())
                                  : std::numeric_limits<std::int32_t>::min();
  static const json::CJsonValue::Array kNoParams;
  const json::CJsonValue* params = document->Find(kParamsKey);
  const bool hasList = params && params->Type() == json::JsonArray;

  if (number == kCancelCommand) {
    // Beside a waiting command, on this thread: that command then ends with
    // status 15 on the worker.
    const std::string result =
        protocol::DispatchCommand(m_factory, number, hasList ? params->Elements() : kNoParams);
    if (result == protocol::kInvalidResult) {
      LogLine(LEVEL_ERROR, "Payload: " + VisibleText(message));
      return Refuse(id, "Request is not supported.");
    }
    return Reply(ResultReply(id, result));
  }

  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_busy) {
    lock.unlock();
    return Refuse(id, "A request is already running; send one at a time (Cancel excepted).");
  }
  m_busy = true;
  lock.unlock();
  // The previous worker has cleared the busy flag; at most its reply is
  // still being written.
  if (m_worker.joinable()) m_worker.join();
  m_worker = std::thread([this, id, number, message, document = std::move(document)] {
    static const json::CJsonValue::Array kNone;
    const json::CJsonValue* list = document->Find(kParamsKey);
    const std::string result = protocol::DispatchCommand(
        m_factory, number, list && list->Type() == json::JsonArray ? list->Elements() : kNone);
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_busy = false;
    }
    m_done.notify_all();
    if (result == protocol::kInvalidResult) {
      LogLine(LEVEL_ERROR, "Payload: " + VisibleText(message));
      Refuse(id, "Request is not supported.");
    } else {
      Reply(ResultReply(id, result));
    }
  });
}

void CSession::Finish() {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_busy) LogLine(LEVEL_INFO, "The page has gone; the waiting request is cancelled.");
  while (m_busy) {
    lock.unlock();
    protocol::DispatchCommand(m_factory, kCancelCommand, {});
    lock.lock();
    m_done.wait_for(lock, kCancelRepeat, [this] { return !m_busy; });
  }
  lock.unlock();
  if (m_worker.joinable()) m_worker.join();
}

}  // namespace qvx::nmhost
