#pragma once

// Late-bound calls on platform automation objects: create an object from its
// identifier, call its members by name, read and write properties and move
// values between our own kinds and the platform's variants. Every failure is
// a result (false, empty text, 0, empty value) with the platform code kept in
// the handle's lastResult; nothing here throws or reports.
//
// Windows: IDispatch, type information, VARIANT and SAFEARRAY.
// Linux: objects of our own, created through a registry of factories, with
// the same operations, results and HRESULT failure codes.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/values.h"

namespace tavrel {

// HRESULT codes the bridge stores in lastResult, as the platform spells them.
inline constexpr std::int32_t kS_OK = 0;
inline constexpr std::int32_t kS_FALSE = 1;
inline constexpr std::int32_t kE_POINTER = static_cast<std::int32_t>(0x80004003);
inline constexpr std::int32_t kE_NOINTERFACE = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kE_INVALIDARG = static_cast<std::int32_t>(0x80070057);
inline constexpr std::int32_t kDISP_E_UNKNOWNNAME = static_cast<std::int32_t>(0x80020006);
inline constexpr std::int32_t kDISP_E_MEMBERNOTFOUND = static_cast<std::int32_t>(0x80020003);
inline constexpr std::int32_t kDISP_E_TYPEMISMATCH = static_cast<std::int32_t>(0x80020005);
inline constexpr std::int32_t kDISP_E_BADPARAMCOUNT = static_cast<std::int32_t>(0x8002000E);
inline constexpr std::int32_t kCO_E_CLASSSTRING = static_cast<std::int32_t>(0x800401F3);
inline constexpr std::int32_t kREGDB_E_CLASSNOTREG = static_cast<std::int32_t>(0x80040154);

// One counted reference to an automation object (its IUnknown on Windows).
// Copying adds a reference, destruction releases one.
class ObjectRef {
 public:
  ObjectRef() = default;
  ObjectRef(const ObjectRef& other);
  ObjectRef& operator=(const ObjectRef& other);
  ObjectRef(ObjectRef&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  ObjectRef& operator=(ObjectRef&& other) noexcept;
  ~ObjectRef() { Reset(); }

  // Takes over a reference the caller already owns.
  static ObjectRef Adopt(void* object) {
    ObjectRef ref;
    ref.ptr_ = object;
    return ref;
  }
  void Reset();
  void* Get() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  void* ptr_ = nullptr;
};

// A handle to one automation object: the reference it owns and the result
// code of the last operation made through it.
struct AutomationObject {
  ObjectRef object;
  std::int32_t lastResult = 0;
};

// One platform variant. A declared value starts as the 32-bit integer 0.
class AutomationValue {
 public:
  struct Impl;  // VARIANT on Windows, a small tagged value on Linux

  AutomationValue();
  explicit AutomationValue(std::unique_ptr<Impl> impl);
  AutomationValue(AutomationValue&&) noexcept;
  AutomationValue& operator=(AutomationValue&&) noexcept;
  AutomationValue(const AutomationValue&) = delete;
  AutomationValue& operator=(const AutomationValue&) = delete;
  ~AutomationValue();

  Impl& impl() { return *impl_; }
  const Impl& impl() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// The kinds an argument of a member call can have.
enum class ArgKind : std::uint8_t {
  kOmitted,
  kLogical,  // 32-bit, 0 = false; VT_BOOL with true as -1
  kInt32,
  kInt16,
  kByte,
  kInt64,
  kSingle,
  kDouble,
  kDate,               // DateTime day count, VT_DATE
  kSubroutineAddress,  // VT_UI4
  kText,
  kBytes,  // always by value
  kObject,
  kValue,
};

// One argument of a member call: a value of its kind, or a variable of the
// caller's (a pointer to it) that by-reference parameters may write back to.
struct BridgeArgument {
  ArgKind kind = ArgKind::kOmitted;
  bool isVariable = false;
  std::int64_t integer = 0;  // logical, integer, byte and address kinds
  double real = 0;           // single, double and date kinds
  AnsiText text;
  ByteBuffer bytes;
  const AutomationObject* object = nullptr;
  const AutomationValue* value = nullptr;
  // For a variable: the caller's variable, of the type the kind names
  // (std::int32_t for logical, float, double for date, std::uint32_t for an
  // address, AnsiText, AutomationObject, AutomationValue).
  void* variable = nullptr;
};

// Argument makers, so calls read like the member's signature.
namespace arg {
BridgeArgument Omitted();
BridgeArgument Logical(bool value);
BridgeArgument Int32(std::int32_t value);
BridgeArgument Int16(std::int16_t value);
BridgeArgument Byte(std::uint8_t value);
BridgeArgument Int64(std::int64_t value);
BridgeArgument Single(float value);
BridgeArgument Double(double value);
BridgeArgument Date(double dayCount);
BridgeArgument SubroutineAddress(std::uint32_t address);
BridgeArgument Text(AnsiText value);
BridgeArgument Bytes(ByteBuffer value);
BridgeArgument Object(const AutomationObject& value);
BridgeArgument Value(const AutomationValue& value);

BridgeArgument LogicalVariable(std::int32_t& variable);
BridgeArgument Int32Variable(std::int32_t& variable);
BridgeArgument Int16Variable(std::int16_t& variable);
BridgeArgument ByteVariable(std::uint8_t& variable);
BridgeArgument Int64Variable(std::int64_t& variable);
BridgeArgument SingleVariable(float& variable);
BridgeArgument DoubleVariable(double& variable);
BridgeArgument DateVariable(double& dayCount);
BridgeArgument SubroutineAddressVariable(std::uint32_t& address);
BridgeArgument TextVariable(AnsiText& variable);
BridgeArgument ObjectVariable(AutomationObject& variable);
BridgeArgument ValueVariable(AutomationValue& variable);
}  // namespace arg

using BridgeArguments = std::vector<BridgeArgument>;

// Lets the handle's old object go, then creates and runs the object that
// identifier names (a ProgID or a class identifier in brace form).
bool CreateObject(AutomationObject& handle, const std::optional<AnsiText>& identifier);
void AssignObject(AutomationObject& target, const AutomationObject& source);
void ReleaseObject(AutomationObject& handle);

void CallMethod(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args = {});
// True only when the platform answers exactly S_OK.
bool PutProperty(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args);
AnsiText ReadText(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args = {});
double ReadNumber(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args = {});
AutomationValue ReadValue(AutomationObject& handle, const AnsiText& name,
                          const BridgeArguments& args = {});

void ClearValue(AutomationValue& value);
// content absent: clears the value. An empty buffer is refused (false) and
// leaves the value unchanged.
bool AssignValue(AutomationValue& value, const ByteBuffer* content);
ByteBuffer ValueToBytes(const AutomationValue& value);

}  // namespace tavrel
