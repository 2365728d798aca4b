#pragma once

// Linux only: the objects the bridge drives in place of the platform's
// automation objects, and the registry that creates them by identifier.
//
// An object derives from DispatchObject, which mirrors the dispatch
// interface: a reference count, GetIDsOfNames, Invoke, optional type
// information (so a member can declare parameters as by-reference) and a run
// step. Values are AutomationValue::Impl, a small tagged variant whose type
// codes are numbered as the platform numbers them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "runtime/automation.h"

namespace tavrel {

// Variant type codes.
inline constexpr std::uint16_t VT_EMPTY = 0;
inline constexpr std::uint16_t VT_NULL = 1;
inline constexpr std::uint16_t VT_I2 = 2;
inline constexpr std::uint16_t VT_I4 = 3;
inline constexpr std::uint16_t VT_R4 = 4;
inline constexpr std::uint16_t VT_R8 = 5;
inline constexpr std::uint16_t VT_CY = 6;
inline constexpr std::uint16_t VT_DATE = 7;
inline constexpr std::uint16_t VT_BSTR = 8;
inline constexpr std::uint16_t VT_DISPATCH = 9;
inline constexpr std::uint16_t VT_ERROR = 10;
inline constexpr std::uint16_t VT_BOOL = 11;
inline constexpr std::uint16_t VT_VARIANT = 12;
inline constexpr std::uint16_t VT_UNKNOWN = 13;
inline constexpr std::uint16_t VT_I1 = 16;
inline constexpr std::uint16_t VT_UI1 = 17;
inline constexpr std::uint16_t VT_UI2 = 18;
inline constexpr std::uint16_t VT_UI4 = 19;
inline constexpr std::uint16_t VT_I8 = 20;
inline constexpr std::uint16_t VT_UI8 = 21;
inline constexpr std::uint16_t VT_ARRAY = 0x2000;

// Call kinds of Invoke.
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;

// Further result codes of this layer.
inline constexpr std::int32_t kE_FAIL = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t kE_OUTOFMEMORY = static_cast<std::int32_t>(0x8007000E);
inline constexpr std::int32_t kDISP_E_OVERFLOW = static_cast<std::int32_t>(0x8002000A);
inline constexpr std::int32_t kCO_E_NOTINITIALIZED = static_cast<std::int32_t>(0x800401F0);
inline constexpr std::uint32_t kCLSCTX_ALL = 0x17;
inline constexpr std::uint32_t kCLSCTX_SERVER_NO_REMOTE = 7;

// HRESULT_FROM_WIN32.
constexpr std::int32_t HresultFromWin32(std::uint32_t code) {
  return code == 0 ? 0 : static_cast<std::int32_t>(0x80070000u | (code & 0xFFFFu));
}

// One variant. A declared value is the 32-bit integer 0.
struct AutomationValue::Impl {
  std::uint16_t vt = VT_I4;
  std::int64_t integer = 0;  // VT_I1..VT_UI4, VT_I8, VT_UI8, VT_ERROR; VT_BOOL as -1/0; VT_CY x 10000
  double real = 0;           // VT_R4, VT_R8, VT_DATE
  AnsiText text;             // VT_BSTR
  ByteBuffer bytes;          // VT_ARRAY | VT_UI1 and VT_ARRAY | VT_I1
  ObjectRef object;          // VT_DISPATCH, VT_UNKNOWN
  // Set on an argument passed by reference: what the member leaves in it
  // goes back to the caller's variable.
  bool byRef = false;
};

using Variant = AutomationValue::Impl;

namespace variant {
Variant Empty();
Variant Int32(std::int32_t value);
Variant Logical(bool value);
Variant Double(double value);
Variant Text(AnsiText value);
Variant Bytes(ByteBuffer value);
Variant Object(ObjectRef value);
}  // namespace variant

// The variant inside a value, and a value made from a variant.
inline const Variant& VariantOf(const AutomationValue& value) { return value.impl(); }
AutomationValue ValueOf(Variant content);

// VariantChangeType to VT_BSTR and to VT_I4 (flags 0), for members that
// take their arguments in a declared type. Give the result code.
std::int32_t ChangeTypeToText(const Variant& value, AnsiText& text);
std::int32_t ChangeTypeToInt32(const Variant& value, std::int32_t& number);

// What the type information says about one member id: a function
// description (with its invocation kind) or a variable description, and for
// each parameter whether it is declared by reference.
struct MemberDescription {
  std::int32_t id = 0;
  bool isFunction = true;
  std::uint16_t invokeKind = DISPATCH_METHOD;
  std::vector<bool> byRef;
};

class DispatchObject {
 public:
  DispatchObject() = default;
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;
  virtual ~DispatchObject() = default;

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release();
  long RefCount() const { return refs_.load(); }

  // QueryInterface for the dispatch interface.
  virtual std::int32_t QueryDispatch() { return kS_OK; }
  // The run step that follows creation.
  virtual std::int32_t Run() { return kS_OK; }
  virtual std::int32_t GetIDsOfNames(const AnsiText& name, std::int32_t& id) = 0;
  // Member descriptions in index order; null when the object has none.
  virtual const std::vector<MemberDescription>* TypeInfo() const { return nullptr; }
  // args are in the caller's order; for a property put the last one is the
  // new value. result is null when the caller wants none.
  virtual std::int32_t Invoke(std::int32_t id, std::uint16_t callKind, std::span<Variant> args,
                              Variant* result) = 0;

 private:
  template <typename T, typename... Args>
  friend ObjectRef MakeObject(Args&&... args);

  std::atomic<long> refs_{1};
  std::unique_ptr<DispatchObject> self_;  // owns the object while references remain
};

// A new object of type T holding one reference, owned by the result.
template <typename T, typename... Args>
ObjectRef MakeObject(Args&&... args) {
  auto owner = std::make_unique<T>(std::forward<Args>(args)...);
  DispatchObject* object = owner.get();
  object->self_ = std::move(owner);
  return ObjectRef::Adopt(object);
}

inline DispatchObject* DispatchOf(const ObjectRef& ref) {
  return static_cast<DispatchObject*>(ref.Get());
}

// Creates an object for a class context (kCLSCTX_ALL, then
// kCLSCTX_SERVER_NO_REMOTE after E_INVALIDARG); returns the result code and
// fills object on success.
using ObjectFactory = std::function<std::int32_t(std::uint32_t classContext, ObjectRef& object)>;

// A factory that always succeeds with make().
ObjectFactory SimpleFactory(std::function<ObjectRef()> make);

// Registers factory under a ProgID (matched without regard to ASCII case)
// and, when classId is not empty, under that brace-form class identifier;
// replaces an earlier registration of either. Thread safe.
// "WinHttp.WinHttpRequest.5.1" is registered from the start.
void RegisterObjectFactory(const AnsiText& progId, const AnsiText& classId, ObjectFactory factory);
void UnregisterObjectFactory(const AnsiText& progId);

inline constexpr const char* kHttpRequestClassId = "{2087C2F4-2CEF-4953-A8AB-66779B670495}";

}  // namespace tavrel
