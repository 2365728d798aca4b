// The automation bridge on Windows: every member is reached through the
// object's IDispatch and resolved by name at the moment of the call.

#include <ole2.h>
#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/automation.h"
#include "runtime/automation_value_win.h"
#include "runtime/codepage_win.h"
#include "runtime/com_ptr_win.h"
#include "runtime/ole_values_win.h"

namespace tavrel {

// A handle's object field is passed by reference as the IUnknown pointer it
// holds, so the reference must be exactly that pointer.
static_assert(std::is_standard_layout_v<ObjectRef> && sizeof(ObjectRef) == sizeof(void*));

namespace {

IUnknown* AsUnknown(void* object) {
  return static_cast<IUnknown*>(object);
}

}  // namespace

// ---- ObjectRef -------------------------------------------------------------

ObjectRef::ObjectRef(const ObjectRef& other) : ptr_(other.ptr_) {
  if (ptr_ != nullptr) AsUnknown(ptr_)->AddRef();
}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) {
  if (this != &other) {
    ObjectRef copy(other);
    *this = std::move(copy);
  }
  return *this;
}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) noexcept {
  if (this != &other) {
    Reset();
    ptr_ = std::exchange(other.ptr_, nullptr);
  }
  return *this;
}

void ObjectRef::Reset() {
  if (void* old = std::exchange(ptr_, nullptr)) AsUnknown(old)->Release();
}

// ---- AutomationValue -------------------------------------------------------

AutomationValue::AutomationValue() : impl_(std::make_unique<Impl>()) {}
AutomationValue::AutomationValue(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AutomationValue::AutomationValue(AutomationValue&&) noexcept = default;
AutomationValue& AutomationValue::operator=(AutomationValue&&) noexcept = default;
AutomationValue::~AutomationValue() = default;

// ---- Objects ---------------------------------------------------------------

namespace {

// In-process server, in-process handler, local server, remote server; the
// retry leaves out the remote server, which some systems refuse to be asked
// about.
constexpr DWORD kAllContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD kLocalContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
static_assert(kAllContexts == 0x17 && kLocalContexts == 7);

}  // namespace

bool CreateObject(AutomationObject& handle, const std::optional<AnsiText>& identifier) {
  handle.object.Reset();
  if (!identifier) {
    handle.lastResult = kS_OK;
    return false;
  }

  const std::wstring wide = AnsiToWide(*identifier);
  CLSID classId{};
  HRESULT result = CLSIDFromProgID(wide.c_str(), &classId);
  if (FAILED(result)) result = CLSIDFromString(wide.c_str(), &classId);
  handle.lastResult = result;
  if (FAILED(result)) return false;

  ComPtr<IUnknown> unknown;
  result = CoCreateInstance(classId, nullptr, kAllContexts, IID_IUnknown, unknown.PutVoid());
  if (result == E_INVALIDARG) {
    result = CoCreateInstance(classId, nullptr, kLocalContexts, IID_IUnknown, unknown.PutVoid());
  }
  if (FAILED(result) || !unknown) {
    handle.lastResult = FAILED(result) ? result : E_POINTER;
    return false;
  }

  result = OleRun(unknown.Get());
  handle.lastResult = result;
  if (FAILED(result)) return false;  // the new object goes with `unknown`
  handle.object = ObjectRef::Adopt(unknown.Detach());
  return true;
}

void AssignObject(AutomationObject& target, const AutomationObject& source) {
  target.object = source.object;
}

void ReleaseObject(AutomationObject& handle) {
  handle.object.Reset();
  handle.lastResult = kS_OK;
}

// ---- Member calls ----------------------------------------------------------

namespace {

// The type information of an object and the descriptions read from it, each
// given back to the type information when it goes.
class TypeAttr {
 public:
  explicit TypeAttr(ITypeInfo* info) : info_(info) {
    if (FAILED(info_->GetTypeAttr(&attr_))) attr_ = nullptr;
  }
  TypeAttr(const TypeAttr&) = delete;
  TypeAttr& operator=(const TypeAttr&) = delete;
  ~TypeAttr() {
    if (attr_ != nullptr) info_->ReleaseTypeAttr(attr_);
  }
  const TYPEATTR* operator->() const { return attr_; }
  explicit operator bool() const { return attr_ != nullptr; }

 private:
  ITypeInfo* info_;
  TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
    if (FAILED(info_->GetFuncDesc(index, &desc_))) desc_ = nullptr;
  }
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  ~FuncDesc() {
    if (desc_ != nullptr) info_->ReleaseFuncDesc(desc_);
  }
  const FUNCDESC* operator->() const { return desc_; }
  explicit operator bool() const { return desc_ != nullptr; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_ = nullptr;
};

class VarDesc {
 public:
  VarDesc(ITypeInfo* info, UINT index) : info_(info) {
    if (FAILED(info_->GetVarDesc(index, &desc_))) desc_ = nullptr;
  }
  VarDesc(const VarDesc&) = delete;
  VarDesc& operator=(const VarDesc&) = delete;
  ~VarDesc() {
    if (desc_ != nullptr) info_->ReleaseVarDesc(desc_);
  }
  const VARDESC* operator->() const { return desc_; }
  explicit operator bool() const { return desc_ != nullptr; }

 private:
  ITypeInfo* info_;
  VARDESC* desc_ = nullptr;
};

bool DeclaredByReference(const TYPEDESC& type) {
  return type.vt == VT_PTR || (type.vt & VT_BYREF) != 0;
}

// Reads from the object's type information which argument positions the
// member declares by reference, and how it is to be invoked. Without type
// information nothing changes.
void ScanParameters(IDispatch* dispatch, DISPID memberId, std::size_t argumentCount, WORD& callKind,
                    std::vector<bool>& byReference) {
  ComPtr<ITypeInfo> info;
  if (FAILED(dispatch->GetTypeInfo(0, 0, info.Put())) || !info) return;
  const TypeAttr attr(info.Get());
  if (!attr) return;

  if (callKind == DISPATCH_METHOD) {
    for (UINT index = 0; index < attr->cFuncs; ++index) {
      const FuncDesc desc(info.Get(), index);
      if (!desc || desc->memid != memberId) continue;
      const std::size_t count =
          std::min(argumentCount, static_cast<std::size_t>(std::max<SHORT>(desc->cParams, 0)));
      for (std::size_t position = 0; position < count; ++position) {
        if (DeclaredByReference(desc->lprgelemdescParam[position].tdesc)) {
          byReference[position] = true;
        }
      }
      callKind = (desc->invkind == INVOKE_PROPERTYPUT && argumentCount == 0)
                     ? static_cast<WORD>(DISPATCH_PROPERTYGET)
                     : static_cast<WORD>(desc->invkind);
      return;
    }
  }

  for (UINT index = 0; index < attr->cVars; ++index) {
    const VarDesc desc(info.Get(), index);
    if (!desc || desc->memid != memberId) continue;
    if (argumentCount > 0 && DeclaredByReference(desc->elemdescVar.tdesc)) byReference[0] = true;
    if (callKind == DISPATCH_METHOD) callKind = DISPATCH_PROPERTYGET;
    return;
  }
}

// The argument variants of one call, in the dispatch order (last argument
// first), with the temporaries they point at. Everything made for the call
// is released when the block goes; by-reference variants point at the
// caller's own data and release nothing.
class ArgumentBlock {
 public:
  explicit ArgumentBlock(std::size_t count)
      : slots_(count), owned_(count, false), texts_(count), logicals_(count, VARIANT_FALSE) {
    for (VARIANT& slot : slots_) VariantInit(&slot);
  }
  ArgumentBlock(const ArgumentBlock&) = delete;
  ArgumentBlock& operator=(const ArgumentBlock&) = delete;
  ~ArgumentBlock() {
    for (std::size_t index = 0; index < slots_.size(); ++index) {
      if (owned_[index]) VariantClear(&slots_[index]);
    }
  }

  std::size_t Count() const { return slots_.size(); }
  VARIANT* Data() { return slots_.empty() ? nullptr : slots_.data(); }

  // Fills the slot of the argument at `position` (in the caller's order).
  // Returns true when an object went by reference.
  bool Fill(std::size_t position, const BridgeArgument& argument, bool markedByReference) {
    VARIANT& slot = slots_[slots_.size() - 1 - position];
    if (argument.kind == ArgKind::kOmitted) return false;
    if (argument.isVariable && argument.variable == nullptr) return false;

    const bool byReference =
        (argument.kind == ArgKind::kValue && argument.isVariable) ||
        (markedByReference &&
         (argument.kind == ArgKind::kObject || argument.kind == ArgKind::kValue)) ||
        (markedByReference && argument.isVariable && argument.kind != ArgKind::kBytes);
    if (byReference) return FillByReference(position, slot, argument);
    FillByValue(slot, argument);
    owned_[slots_.size() - 1 - position] = argument.kind != ArgKind::kObject;
    return false;
  }

  // Carries what the member left in by-reference temporaries back into the
  // caller's variables.
  void CopyBack(const BridgeArguments& arguments) {
    for (std::size_t position = 0; position < slots_.size(); ++position) {
      const BridgeArgument& argument = arguments[position];
      const VARIANT& slot = slots_[slots_.size() - 1 - position];
      if ((V_VT(&slot) & VT_BYREF) == 0) continue;
      if (argument.kind == ArgKind::kText) {
        *static_cast<AnsiText*>(argument.variable) = BstrToAnsi(texts_[position].Get());
        texts_[position].Reset();
      } else if (argument.kind == ArgKind::kLogical) {
        *static_cast<std::int32_t*>(argument.variable) = logicals_[position];
      }
    }
  }

 private:
  bool FillByReference(std::size_t position, VARIANT& slot, const BridgeArgument& argument) {
    void* variable = argument.variable;
    switch (argument.kind) {
      case ArgKind::kLogical: {
        auto* logical = static_cast<std::int32_t*>(variable);
        if (*logical != 0) *logical = -1;
        logicals_[position] = *logical != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        V_VT(&slot) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&slot) = &logicals_[position];
        return false;
      }
      case ArgKind::kInt32:
        V_VT(&slot) = VT_I4 | VT_BYREF;
        V_I4REF(&slot) = reinterpret_cast<LONG*>(variable);
        return false;
      case ArgKind::kInt16:
        V_VT(&slot) = VT_I2 | VT_BYREF;
        V_I2REF(&slot) = static_cast<SHORT*>(variable);
        return false;
      case ArgKind::kByte:
        V_VT(&slot) = VT_UI1 | VT_BYREF;
        V_UI1REF(&slot) = static_cast<BYTE*>(variable);
        return false;
      case ArgKind::kInt64:
        V_VT(&slot) = VT_I8 | VT_BYREF;
        V_I8REF(&slot) = reinterpret_cast<LONGLONG*>(variable);
        return false;
      case ArgKind::kSingle:
        V_VT(&slot) = VT_R4 | VT_BYREF;
        V_R4REF(&slot) = static_cast<FLOAT*>(variable);
        return false;
      case ArgKind::kDouble:
        V_VT(&slot) = VT_R8 | VT_BYREF;
        V_R8REF(&slot) = static_cast<DOUBLE*>(variable);
        return false;
      case ArgKind::kDate:
        V_VT(&slot) = VT_DATE | VT_BYREF;
        V_DATEREF(&slot) = static_cast<DATE*>(variable);
        return false;
      case ArgKind::kSubroutineAddress:
        V_VT(&slot) = VT_UI4 | VT_BYREF;
        V_UI4REF(&slot) = reinterpret_cast<ULONG*>(variable);
        return false;
      case ArgKind::kText:
        // A temporary the member may replace; it is read back after the call.
        texts_[position] = AnsiToBstr(*static_cast<const AnsiText*>(variable));
        V_VT(&slot) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&slot) = texts_[position].Address();
        return false;
      case ArgKind::kObject: {
        if (argument.object == nullptr) return false;
        // The member sees the handle's own field and may replace the object in it.
        auto& field = const_cast<ObjectRef&>(argument.object->object);
        V_VT(&slot) = VT_DISPATCH | VT_BYREF;
        V_DISPATCHREF(&slot) = reinterpret_cast<IDispatch**>(&field);
        return true;
      }
      case ArgKind::kValue:
        if (argument.value == nullptr) return false;
        V_VT(&slot) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&slot) = &const_cast<AutomationValue*>(argument.value)->impl().variant;
        return false;
      case ArgKind::kBytes:
      case ArgKind::kOmitted:
        return false;
    }
    return false;
  }

  static void FillByValue(VARIANT& slot, const BridgeArgument& argument) {
    const void* variable = argument.isVariable ? argument.variable : nullptr;
    switch (argument.kind) {
      case ArgKind::kLogical: {
        const std::int64_t logical =
            variable ? *static_cast<const std::int32_t*>(variable) : argument.integer;
        V_VT(&slot) = VT_BOOL;
        V_BOOL(&slot) = logical != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return;
      }
      case ArgKind::kInt32:
        V_VT(&slot) = VT_I4;
        V_I4(&slot) = variable ? *static_cast<const std::int32_t*>(variable)
                               : static_cast<LONG>(argument.integer);
        return;
      case ArgKind::kInt16:
        V_VT(&slot) = VT_I2;
        V_I2(&slot) = variable ? *static_cast<const std::int16_t*>(variable)
                               : static_cast<SHORT>(argument.integer);
        return;
      case ArgKind::kByte:
        V_VT(&slot) = VT_UI1;
        V_UI1(&slot) = variable ? *static_cast<const std::uint8_t*>(variable)
                                : static_cast<BYTE>(argument.integer);
        return;
      case ArgKind::kInt64:
        V_VT(&slot) = VT_I8;
        V_I8(&slot) = variable ? *static_cast<const std::int64_t*>(variable) : argument.integer;
        return;
      case ArgKind::kSingle:
        V_VT(&slot) = VT_R4;
        V_R4(&slot) =
            variable ? *static_cast<const float*>(variable) : static_cast<FLOAT>(argument.real);
        return;
      case ArgKind::kDouble:
        V_VT(&slot) = VT_R8;
        V_R8(&slot) = variable ? *static_cast<const double*>(variable) : argument.real;
        return;
      case ArgKind::kDate:
        V_VT(&slot) = VT_DATE;
        V_DATE(&slot) = variable ? *static_cast<const double*>(variable) : argument.real;
        return;
      case ArgKind::kSubroutineAddress:
        V_VT(&slot) = VT_UI4;
        V_UI4(&slot) = variable ? *static_cast<const std::uint32_t*>(variable)
                                : static_cast<ULONG>(argument.integer);
        return;
      case ArgKind::kText:
        V_VT(&slot) = VT_BSTR;
        V_BSTR(&slot) =
            AnsiToBstr(variable ? *static_cast<const AnsiText*>(variable) : argument.text).Detach();
        return;
      case ArgKind::kBytes: {
        SafeArrayOwner array(
            SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(argument.bytes.size())));
        if (!array.Get()) return;
        if (!argument.bytes.empty()) {
          const SafeArrayData data(array.Get());
          if (!data.Ok()) return;
          std::memcpy(data.Get(), argument.bytes.data(), argument.bytes.size());
        }
        V_VT(&slot) = VT_ARRAY | VT_UI1;
        V_ARRAY(&slot) = array.Detach();
        return;
      }
      case ArgKind::kObject:
        // The handle's reference is lent for the call; no reference is added.
        // An empty handle still goes as an object argument, holding none.
        if (argument.object == nullptr) return;
        V_VT(&slot) = VT_DISPATCH;
        V_DISPATCH(&slot) = static_cast<IDispatch*>(argument.object->object.Get());
        return;
      case ArgKind::kValue:
        if (argument.value == nullptr) return;
        if (FAILED(VariantCopy(&slot, const_cast<VARIANT*>(&argument.value->impl().variant)))) {
          VariantInit(&slot);
        }
        return;
      case ArgKind::kOmitted:
        return;
    }
  }

  std::vector<VARIANT> slots_;
  std::vector<bool> owned_;
  std::vector<Bstr> texts_;             // temporaries of by-reference texts
  std::vector<VARIANT_BOOL> logicals_;  // temporaries of by-reference logicals
};

// An omitted last argument is dropped; omitted ones before it stay as empty
// variants.
std::size_t PassedArgumentCount(const BridgeArguments& arguments) {
  std::size_t count = arguments.size();
  if (count > 0 && arguments[count - 1].kind == ArgKind::kOmitted) --count;
  return count;
}

HRESULT InvokeMember(IDispatch* dispatch, DISPID memberId, WORD callKind, VARIANT* result,
                     const BridgeArguments& arguments) {
  const std::size_t count = PassedArgumentCount(arguments);
  std::vector<bool> byReference(count, false);
  ScanParameters(dispatch, memberId, count, callKind, byReference);

  ArgumentBlock block(count);
  bool objectByReference = false;
  for (std::size_t position = 0; position < count; ++position) {
    objectByReference |= block.Fill(position, arguments[position], byReference[position]);
  }
  if (callKind == DISPATCH_PROPERTYPUT && objectByReference) callKind = DISPATCH_PROPERTYPUTREF;

  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{};
  parameters.rgvarg = block.Data();
  parameters.cArgs = static_cast<UINT>(count);
  // The named argument names the new value, so a put without any argument
  // carries none rather than naming a slot that does not exist.
  if ((callKind == DISPATCH_PROPERTYPUT || callKind == DISPATCH_PROPERTYPUTREF) && count > 0) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }

  const HRESULT code =
      dispatch->Invoke(memberId, IID_NULL, 0, callKind, &parameters, result, nullptr, nullptr);
  block.CopyBack(arguments);
  return code;
}

// Resolves the member by name and invokes it; every step's code ends in the
// handle. A failed call leaves the result variant empty.
HRESULT CallMember(AutomationObject& handle, const AnsiText& name, WORD callKind, VARIANT* result,
                   const BridgeArguments& arguments) {
  if (!handle.object) {
    handle.lastResult = E_POINTER;
    return E_POINTER;
  }

  ComPtr<IDispatch> dispatch;
  HRESULT code = AsUnknown(handle.object.Get())->QueryInterface(IID_IDispatch, dispatch.PutVoid());
  if (SUCCEEDED(code) && !dispatch) code = E_NOINTERFACE;
  handle.lastResult = code;
  if (FAILED(code)) return code;

  std::wstring wideName = AnsiToWide(name);
  LPOLESTR names[] = {wideName.data()};
  DISPID memberId = DISPID_UNKNOWN;
  code = dispatch->GetIDsOfNames(IID_NULL, names, 1, GetUserDefaultLCID(), &memberId);
  handle.lastResult = code;
  if (FAILED(code)) return code;

  code = InvokeMember(dispatch.Get(), memberId, callKind, result, arguments);
  handle.lastResult = code;
  if (FAILED(code) && result != nullptr) {
    VariantClear(result);
    VariantInit(result);
  }
  return code;
}

}  // namespace

void CallMethod(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant scratch;
  CallMember(handle, name, DISPATCH_METHOD, scratch.Get(), args);
}

bool PutProperty(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  return CallMember(handle, name, DISPATCH_PROPERTYPUT, nullptr, args) == S_OK;
}

// Reads ask for a property or a method's result alike: an object whose
// dispatch goes through its type information finds a method (such as
// GetAllResponseHeaders) only when the method flag is set too.
constexpr WORD kReadCallKind = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

AnsiText ReadText(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant result;
  if (FAILED(CallMember(handle, name, kReadCallKind, result.Get(), args))) return {};
  if (V_VT(result.Get()) == VT_BSTR) return BstrToAnsi(V_BSTR(result.Get()));
  Variant coerced;
  if (FAILED(VariantChangeType(coerced.Get(), result.Get(), 0, VT_BSTR))) return {};
  if (V_VT(coerced.Get()) != VT_BSTR) return {};
  return BstrToAnsi(V_BSTR(coerced.Get()));
}

double ReadNumber(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant result;
  if (FAILED(CallMember(handle, name, kReadCallKind, result.Get(), args))) return 0;
  const VARIANT& value = *result;
  double number = 0;
  switch (V_VT(&value)) {
    case VT_I1:
      return V_I1(&value);
    case VT_I2:
      return V_I2(&value);
    case VT_I4:
      return V_I4(&value);
    case VT_UI1:
      return V_UI1(&value);
    case VT_UI2:
      return V_UI2(&value);
    case VT_UI4:
      return V_UI4(&value);
    case VT_R4:
      return V_R4(&value);
    case VT_R8:
      return V_R8(&value);
    case VT_DATE:
      return V_DATE(&value);
    case VT_CY:
      return SUCCEEDED(VarR8FromCy(V_CY(&value), &number)) ? number : 0;
    case VT_BOOL:
      return SUCCEEDED(VarR8FromBool(V_BOOL(&value), &number)) ? number : 0;
    default:
      return 0;  // strings are not parsed; other kinds have no number
  }
}

AutomationValue ReadValue(AutomationObject& handle, const AnsiText& name,
                          const BridgeArguments& args) {
  auto impl = AutomationValue::Impl::Empty();
  CallMember(handle, name, kReadCallKind, &impl->variant, args);
  return AutomationValue(std::move(impl));
}

// ---- Values ----------------------------------------------------------------

void ClearValue(AutomationValue& value) {
  VariantClear(&value.impl().variant);
  VariantInit(&value.impl().variant);
}

bool AssignValue(AutomationValue& value, const ByteBuffer* content) {
  if (content == nullptr) {
    ClearValue(value);
    return true;
  }
  if (content->empty()) return false;

  SafeArrayOwner array;
  if (FAILED(SafeArrayAllocDescriptor(1, array.Put())) || !array.Get()) return false;
  array.Get()->cbElements = 1;
  array.Get()->rgsabound[0].cElements = static_cast<ULONG>(content->size());
  array.Get()->rgsabound[0].lLbound = 0;
  if (FAILED(SafeArrayAllocData(array.Get()))) return false;
  {
    const SafeArrayData data(array.Get());
    if (!data.Ok()) return false;
    std::memcpy(data.Get(), content->data(), content->size());
  }

  VARIANT& variant = value.impl().variant;
  VariantClear(&variant);
  V_VT(&variant) = VT_ARRAY | VT_UI1;
  V_ARRAY(&variant) = array.Detach();
  return true;
}

namespace {

ByteBuffer ArrayBytes(SAFEARRAY* array) {
  if (array == nullptr || array->cbElements == 0) return {};
  const UINT dimensions = SafeArrayGetDim(array);
  if (dimensions == 0) return {};
  std::size_t count = 1;
  for (UINT dimension = 1; dimension <= dimensions; ++dimension) {
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, dimension, &lower)) ||
        FAILED(SafeArrayGetUBound(array, dimension, &upper)) || upper < lower) {
      return {};
    }
    count *= static_cast<std::size_t>(static_cast<std::int64_t>(upper) - lower + 1);
  }
  const SafeArrayData data(array);
  if (!data.Ok() || data.Get() == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data.Get());
  return ByteBuffer(bytes, bytes + count);
}

}  // namespace

ByteBuffer ValueToBytes(const AutomationValue& value) {
  const VARIANT& variant = value.impl().variant;
  if (V_VT(&variant) == (VT_ARRAY | VT_UI1) || V_VT(&variant) == (VT_ARRAY | VT_I1)) {
    return ArrayBytes(V_ARRAY(&variant));
  }
  Variant coerced;
  if (FAILED(
          VariantChangeType(coerced.Get(), const_cast<VARIANT*>(&variant), 0, VT_ARRAY | VT_UI1)) ||
      V_VT(coerced.Get()) != (VT_ARRAY | VT_UI1)) {
    return {};
  }
  return ArrayBytes(V_ARRAY(coerced.Get()));
}

}  // namespace tavrel
