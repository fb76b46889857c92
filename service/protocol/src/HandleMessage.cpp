#include "protocol/HandleMessage.h"

#include <limits>
#include <memory>

#include "command/Log.h"
#include "command/Report.h"
#include "command/VisibleText.h"

namespace qvx::protocol {
namespace {

const json::WideString kNameKey = u"Name";
const json::WideString kParamsKey = u"Params";

HandledMessage Refuse(CLog& log, const std::string& payload) {
  // Shown, not obeyed: a line feed in it must not start a line of its own.
  log.Append(
      CReport(kStatusSuccess, LEVEL_ERROR, "", "[WSS] Payload: %s", VisibleText(payload).c_str()));
  log.Append(CReport(kStatusSuccess, LEVEL_ERROR, "", "[WSS] Payload is not supported."));
  return {};
}

}  // namespace

HandledMessage HandleMessage(const CommandFactory& factory, const std::string& payload) {
  CLog log;
  const std::unique_ptr<json::CJsonValue> document = json::ParseJson(payload);
  if (!document || document->Type() != json::JsonObject) return Refuse(log, payload);

  const json::CJsonValue* name = document->Find(kNameKey);
  if (!name) return Refuse(log, payload);
  // A Name that is not a number names no command.
  const std::int32_t number = name->Type() == json::JsonNumber
                                  ? CommandNumber(name->Number())
                                  : std::numeric_limits<std::int32_t>::min();

  static const json::CJsonValue::Array kNoParams;
  const json::CJsonValue* params = document->Find(kParamsKey);
  const json::CJsonValue::Array& list =
      params && params->Type() == json::JsonArray ? params->Elements() : kNoParams;

  std::string result = DispatchCommand(factory, number, list);
  if (result == kInvalidResult) return Refuse(log, payload);
  return {true, std::move(result)};
}

}  // namespace qvx::protocol
