// DispatchCommand: one decoded request run as one command on a fresh
// command object, and the conversions that lead to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "command/Quorvex2.h"
#include "json/JsonValue.h"

namespace qvx::protocol {

// What DispatchCommand returns for a request it cannot run. No result text
// can equal it: each starts with its Status item, and Cancel's is empty.
constexpr const char* kInvalidResult = "_INVALID_";

// Builds the command object of one request. Tests hand in one over a fake
// reader; the service uses the system's PC/SC.
using CommandFactory = std::function<std::unique_ptr<CQuorvex2>()>;
CommandFactory SystemCommandFactory();

// A Name number truncated toward zero; anything outside the 32-bit range
// (infinities and NaN included) becomes the most negative value, which no
// command has.
std::int32_t CommandNumber(double number);

// A parameter as the command takes it: the rendered value with each 16-bit
// unit narrowed to its low byte.
std::string ParameterText(const json::CJsonValue& value);

// DisplayResult's message number: the text read as a decimal long (blanks,
// sign, digits; clamped to 32 bits), keeping the low 16 bits.
std::uint16_t MessageNumber(const std::string& text);

// The result text of the command, or kInvalidResult for an unknown number or
// a parameter list of the wrong length.
std::string DispatchCommand(const CommandFactory& factory, std::int32_t commandNumber,
                            const json::CJsonValue::Array& params);

}  // namespace qvx::protocol
