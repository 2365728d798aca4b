// Argument makers shared by every platform's bridge.

#include <utility>

#include "runtime/automation.h"

namespace tavrel::arg {

namespace {

BridgeArgument Make(ArgKind kind) {
  BridgeArgument argument;
  argument.kind = kind;
  return argument;
}

BridgeArgument MakeInteger(ArgKind kind, std::int64_t value) {
  BridgeArgument argument = Make(kind);
  argument.integer = value;
  return argument;
}

BridgeArgument MakeReal(ArgKind kind, double value) {
  BridgeArgument argument = Make(kind);
  argument.real = value;
  return argument;
}

BridgeArgument MakeVariable(ArgKind kind, void* variable) {
  BridgeArgument argument = Make(kind);
  argument.isVariable = true;
  argument.variable = variable;
  return argument;
}

}  // namespace

BridgeArgument Omitted() {
  return Make(ArgKind::kOmitted);
}
// A true logical is kept as the platform's true, -1.
BridgeArgument Logical(bool value) {
  return MakeInteger(ArgKind::kLogical, value ? -1 : 0);
}
BridgeArgument Int32(std::int32_t value) {
  return MakeInteger(ArgKind::kInt32, value);
}
BridgeArgument Int16(std::int16_t value) {
  return MakeInteger(ArgKind::kInt16, value);
}
BridgeArgument Byte(std::uint8_t value) {
  return MakeInteger(ArgKind::kByte, value);
}
BridgeArgument Int64(std::int64_t value) {
  return MakeInteger(ArgKind::kInt64, value);
}
BridgeArgument Single(float value) {
  return MakeReal(ArgKind::kSingle, value);
}
BridgeArgument Double(double value) {
  return MakeReal(ArgKind::kDouble, value);
}
BridgeArgument Date(double dayCount) {
  return MakeReal(ArgKind::kDate, dayCount);
}
BridgeArgument SubroutineAddress(std::uint32_t address) {
  return MakeInteger(ArgKind::kSubroutineAddress, address);
}

BridgeArgument Text(AnsiText value) {
  BridgeArgument argument = Make(ArgKind::kText);
  argument.text = std::move(value);
  return argument;
}

BridgeArgument Bytes(ByteBuffer value) {
  BridgeArgument argument = Make(ArgKind::kBytes);
  argument.bytes = std::move(value);
  return argument;
}

BridgeArgument Object(const AutomationObject& value) {
  BridgeArgument argument = Make(ArgKind::kObject);
  argument.object = &value;
  return argument;
}

BridgeArgument Value(const AutomationValue& value) {
  BridgeArgument argument = Make(ArgKind::kValue);
  argument.value = &value;
  return argument;
}

BridgeArgument LogicalVariable(std::int32_t& variable) {
  return MakeVariable(ArgKind::kLogical, &variable);
}
BridgeArgument Int32Variable(std::int32_t& variable) {
  return MakeVariable(ArgKind::kInt32, &variable);
}
BridgeArgument Int16Variable(std::int16_t& variable) {
  return MakeVariable(ArgKind::kInt16, &variable);
}
BridgeArgument ByteVariable(std::uint8_t& variable) {
  return MakeVariable(ArgKind::kByte, &variable);
}
BridgeArgument Int64Variable(std::int64_t& variable) {
  return MakeVariable(ArgKind::kInt64, &variable);
}
BridgeArgument SingleVariable(float& variable) {
  return MakeVariable(ArgKind::kSingle, &variable);
}
BridgeArgument DoubleVariable(double& variable) {
  return MakeVariable(ArgKind::kDouble, &variable);
}
BridgeArgument DateVariable(double& dayCount) {
  return MakeVariable(ArgKind::kDate, &dayCount);
}
BridgeArgument SubroutineAddressVariable(std::uint32_t& address) {
  return MakeVariable(ArgKind::kSubroutineAddress, &address);
}
BridgeArgument TextVariable(AnsiText& variable) {
  return MakeVariable(ArgKind::kText, &variable);
}

// Object and value variables also fill the pointer the by-value form reads,
// so a variable that is passed by value needs no second look-up.
BridgeArgument ObjectVariable(AutomationObject& variable) {
  BridgeArgument argument = MakeVariable(ArgKind::kObject, &variable);
  argument.object = &variable;
  return argument;
}
BridgeArgument ValueVariable(AutomationValue& variable) {
  BridgeArgument argument = MakeVariable(ArgKind::kValue, &variable);
  argument.value = &variable;
  return argument;
}

}  // namespace tavrel::arg
