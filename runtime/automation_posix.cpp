// The bridge on Linux: objects of our own (DispatchObject) created through a
// registry of factories, driven with the same steps, results and result
// codes as the dispatch interface on Windows.

#include "runtime/automation_posix.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "runtime/codepage.h"
#include "runtime/com_library_posix.h"
#include "runtime/http_request_posix.h"

namespace tavrel {

// ---------------------------------------------------------------------------
// References and values

ObjectRef::ObjectRef(const ObjectRef& other) : ptr_(other.ptr_) {
  if (ptr_ != nullptr) static_cast<DispatchObject*>(ptr_)->AddRef();
}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) {
  if (this != &other) {
    ObjectRef copy(other);
    std::swap(ptr_, copy.ptr_);
  }
  return *this;
}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) noexcept {
  if (this != &other) {
    Reset();
    ptr_ = other.ptr_;
    other.ptr_ = nullptr;
  }
  return *this;
}

void ObjectRef::Reset() {
  void* old = ptr_;
  ptr_ = nullptr;
  if (old != nullptr) static_cast<DispatchObject*>(old)->Release();
}

void DispatchObject::Release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    // The last reference: the owner goes out of scope here and takes the
    // object with it.
    std::unique_ptr<DispatchObject> owner = std::move(self_);
  }
}

AutomationValue::AutomationValue() : impl_(std::make_unique<Impl>()) {}
AutomationValue::AutomationValue(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  if (!impl_) impl_ = std::make_unique<Impl>();
}
// A moved-from value stays usable: it holds a declared value again.
AutomationValue::AutomationValue(AutomationValue&& other) noexcept
    : impl_(std::make_unique<Impl>()) {
  impl_.swap(other.impl_);
}
AutomationValue& AutomationValue::operator=(AutomationValue&& other) noexcept {
  impl_.swap(other.impl_);
  return *this;
}
AutomationValue::~AutomationValue() = default;

AutomationValue ValueOf(Variant content) {
  content.byRef = false;
  return AutomationValue(std::make_unique<Variant>(std::move(content)));
}

namespace variant {
Variant Empty() {
  Variant v;
  v.vt = VT_EMPTY;
  return v;
}
Variant Int32(std::int32_t value) {
  Variant v;
  v.vt = VT_I4;
  v.integer = value;
  return v;
}
Variant Logical(bool value) {
  Variant v;
  v.vt = VT_BOOL;
  v.integer = value ? -1 : 0;
  return v;
}
Variant Double(double value) {
  Variant v;
  v.vt = VT_R8;
  v.real = value;
  return v;
}
Variant Text(AnsiText value) {
  Variant v;
  v.vt = VT_BSTR;
  v.text = std::move(value);
  return v;
}
Variant Bytes(ByteBuffer value) {
  Variant v;
  v.vt = VT_ARRAY | VT_UI1;
  v.bytes = std::move(value);
  return v;
}
Variant Object(ObjectRef value) {
  Variant v;
  v.vt = VT_DISPATCH;
  v.object = std::move(value);
  return v;
}
}  // namespace variant

// ---------------------------------------------------------------------------
// Registry

namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The brace form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} of a class
// identifier, as CLSIDFromString accepts it.
bool IsClassIdText(std::string_view text) {
  static constexpr std::string_view kShape = "{........-....-....-....-............}";
  if (text.size() != kShape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == '.') {
      if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    } else if (text[i] != kShape[i]) {
      return false;
    }
  }
  return true;
}

struct Registration {
  std::string progIdKey;   // upper case
  std::string classIdKey;  // upper case, may be empty
  ObjectFactory factory;
};

class Registry {
 public:
  Registry() {
    entries_.push_back({UpperAscii("WinHttp.WinHttpRequest.5.1"), kHttpRequestClassId,
                        SimpleFactory(CreateHttpRequestObject)});
  }

  void Add(const AnsiText& progId, const AnsiText& classId, ObjectFactory factory) {
    std::lock_guard lock(mutex_);
    std::string progKey = UpperAscii(progId);
    std::string classKey = UpperAscii(classId);
    std::erase_if(entries_, [&](const Registration& r) {
      return r.progIdKey == progKey || (!classKey.empty() && r.classIdKey == classKey);
    });
    entries_.push_back({std::move(progKey), std::move(classKey), std::move(factory)});
  }

  void Remove(const AnsiText& progId) {
    std::lock_guard lock(mutex_);
    std::string progKey = UpperAscii(progId);
    std::erase_if(entries_, [&](const Registration& r) { return r.progIdKey == progKey; });
  }

  // The class of a ProgID (CLSIDFromProgID), else of a brace-form class id
  // (CLSIDFromString). Gives the code of the last look-up; on success the
  // class key to create from.
  std::int32_t ClassOf(const AnsiText& identifier, std::string& classKey) {
    std::lock_guard lock(mutex_);
    std::string key = UpperAscii(identifier);
    for (const Registration& r : entries_) {
      if (r.progIdKey == key) {
        classKey = r.classIdKey.empty() ? "progid:" + r.progIdKey : r.classIdKey;
        return kS_OK;
      }
    }
    if (!IsClassIdText(identifier)) return kCO_E_CLASSSTRING;
    classKey = key;
    return kS_OK;
  }

  // The factory of a class (CoCreateInstance's look-up).
  bool FactoryOf(const std::string& classKey, ObjectFactory& factory) {
    std::lock_guard lock(mutex_);
    for (const Registration& r : entries_) {
      std::string key = r.classIdKey.empty() ? "progid:" + r.progIdKey : r.classIdKey;
      if (key == classKey) {
        factory = r.factory;
        return true;
      }
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<Registration> entries_;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::int32_t CreateInstance(const std::string& classKey, std::uint32_t classContext,
                            ObjectRef& object) {
  if (!ComInitialisedOnThisThread()) return kCO_E_NOTINITIALIZED;
  ObjectFactory factory;
  if (!TheRegistry().FactoryOf(classKey, factory)) return kREGDB_E_CLASSNOTREG;
  std::int32_t hr = factory(classContext, object);
  if (hr < 0) object.Reset();
  else if (!object) hr = kE_FAIL;
  return hr;
}

}  // namespace

ObjectFactory SimpleFactory(std::function<ObjectRef()> make) {
  return [make = std::move(make)](std::uint32_t, ObjectRef& object) {
    object = make();
    return object ? kS_OK : kE_OUTOFMEMORY;
  };
}

void RegisterObjectFactory(const AnsiText& progId, const AnsiText& classId,
                           ObjectFactory factory) {
  TheRegistry().Add(progId, classId, std::move(factory));
}

void UnregisterObjectFactory(const AnsiText& progId) { TheRegistry().Remove(progId); }

// ---------------------------------------------------------------------------
// Objects

bool CreateObject(AutomationObject& handle, const std::optional<AnsiText>& identifier) {
  handle.object.Reset();
  if (!identifier) {
    handle.lastResult = 0;
    return false;
  }
  std::string classKey;
  handle.lastResult = TheRegistry().ClassOf(*identifier, classKey);
  if (handle.lastResult < 0) return false;

  ObjectRef object;
  std::int32_t hr = CreateInstance(classKey, kCLSCTX_ALL, object);
  if (hr == kE_INVALIDARG) hr = CreateInstance(classKey, kCLSCTX_SERVER_NO_REMOTE, object);
  if (hr < 0) {
    handle.lastResult = hr;
    return false;
  }
  hr = DispatchOf(object)->Run();
  handle.lastResult = hr;
  if (hr < 0) return false;  // object lets the new object go
  handle.object = std::move(object);
  return true;
}

void AssignObject(AutomationObject& target, const AutomationObject& source) {
  target.object = source.object;
}

void ReleaseObject(AutomationObject& handle) {
  handle.object.Reset();
  handle.lastResult = 0;
}

// ---------------------------------------------------------------------------
// Member calls

namespace {

// Text up to its first NUL, as a zero-terminated conversion sees it.
AnsiText UpToNul(const AnsiText& text) { return text.substr(0, text.find('\0')); }

// The argument's content as a variant (by-value form).
Variant ArgumentVariant(const BridgeArgument& a) {
  Variant v;
  const void* var = a.isVariable ? a.variable : nullptr;
  auto integer = [&](auto* typed) -> std::int64_t {
    return var != nullptr ? static_cast<std::int64_t>(*static_cast<decltype(typed)>(var))
                          : a.integer;
  };
  switch (a.kind) {
    case ArgKind::kOmitted:
      v.vt = VT_EMPTY;
      break;
    case ArgKind::kLogical:
      v.vt = VT_BOOL;
      v.integer = integer(static_cast<const std::int32_t*>(nullptr)) != 0 ? -1 : 0;
      break;
    case ArgKind::kInt32:
      v.vt = VT_I4;
      v.integer = integer(static_cast<const std::int32_t*>(nullptr));
      break;
    case ArgKind::kInt16:
      v.vt = VT_I2;
      v.integer = integer(static_cast<const std::int16_t*>(nullptr));
      break;
    case ArgKind::kByte:
      v.vt = VT_UI1;
      v.integer = integer(static_cast<const std::uint8_t*>(nullptr));
      break;
    case ArgKind::kInt64:
      v.vt = VT_I8;
      v.integer = integer(static_cast<const std::int64_t*>(nullptr));
      break;
    case ArgKind::kSubroutineAddress:
      v.vt = VT_UI4;
      v.integer = integer(static_cast<const std::uint32_t*>(nullptr));
      break;
    case ArgKind::kSingle:
      v.vt = VT_R4;
      v.real = var != nullptr ? *static_cast<const float*>(var) : static_cast<float>(a.real);
      break;
    case ArgKind::kDouble:
    case ArgKind::kDate:
      v.vt = a.kind == ArgKind::kDouble ? VT_R8 : VT_DATE;
      v.real = var != nullptr ? *static_cast<const double*>(var) : a.real;
      break;
    case ArgKind::kText:
      v.vt = VT_BSTR;
      v.text = UpToNul(var != nullptr ? *static_cast<const AnsiText*>(var) : a.text);
      break;
    case ArgKind::kBytes:
      v.vt = VT_ARRAY | VT_UI1;
      v.bytes = a.bytes;
      break;
    case ArgKind::kObject: {
      const AutomationObject* handle =
          var != nullptr ? static_cast<const AutomationObject*>(var) : a.object;
      v.vt = VT_DISPATCH;
      if (handle != nullptr) v.object = handle->object;
      break;
    }
    case ArgKind::kValue: {
      const AutomationValue* value =
          var != nullptr ? static_cast<const AutomationValue*>(var) : a.value;
      if (value != nullptr) v = value->impl();
      else v.vt = VT_EMPTY;
      break;
    }
  }
  v.byRef = false;
  return v;
}

// Carries what the member left in a by-reference argument back into the
// caller's variable. A typed reference cannot change its type, so a member
// that changed the variant's type wrote nothing the platform would keep.
void WriteBack(const BridgeArgument& a, std::uint16_t passedType, const Variant& v) {
  // A handle or value given as a value went by reference too (it was declared
  // so): the member's change reaches the caller's own one, as on Windows.
  if (a.kind == ArgKind::kValue && (a.isVariable ? a.variable : a.value) != nullptr) {
    auto* value = a.isVariable ? static_cast<AutomationValue*>(a.variable)
                               : const_cast<AutomationValue*>(a.value);
    Variant copy = v;
    copy.byRef = false;
    value->impl() = std::move(copy);
    return;
  }
  if (a.kind == ArgKind::kObject && !a.isVariable && a.object != nullptr) {
    if (v.vt == passedType) const_cast<AutomationObject*>(a.object)->object = v.object;
    return;
  }
  if (!a.isVariable || a.variable == nullptr) return;
  if (v.vt != passedType) return;
  void* var = a.variable;
  switch (a.kind) {
    case ArgKind::kLogical:
      *static_cast<std::int32_t*>(var) = static_cast<std::int16_t>(v.integer);
      break;
    case ArgKind::kInt32:
      *static_cast<std::int32_t*>(var) = static_cast<std::int32_t>(v.integer);
      break;
    case ArgKind::kInt16:
      *static_cast<std::int16_t*>(var) = static_cast<std::int16_t>(v.integer);
      break;
    case ArgKind::kByte:
      *static_cast<std::uint8_t*>(var) = static_cast<std::uint8_t>(v.integer);
      break;
    case ArgKind::kInt64:
      *static_cast<std::int64_t*>(var) = v.integer;
      break;
    case ArgKind::kSubroutineAddress:
      *static_cast<std::uint32_t*>(var) = static_cast<std::uint32_t>(v.integer);
      break;
    case ArgKind::kSingle:
      *static_cast<float*>(var) = static_cast<float>(v.real);
      break;
    case ArgKind::kDouble:
    case ArgKind::kDate:
      *static_cast<double*>(var) = v.real;
      break;
    case ArgKind::kText:
      *static_cast<AnsiText*>(var) = UpToNul(v.text);
      break;
    case ArgKind::kObject:
      static_cast<AutomationObject*>(var)->object = v.object;
      break;
    default:
      break;
  }
}

std::int32_t InvokeMember(DispatchObject& object, std::int32_t id, std::uint16_t callKind,
                          Variant* result, const BridgeArguments& args) {
  // An omitted last argument is not passed at all; omitted ones before it
  // go as empty values.
  size_t count = args.size();
  if (count > 0 && args[count - 1].kind == ArgKind::kOmitted) --count;

  // Parameter scan over the type information.
  std::vector<bool> markedByRef(count, false);
  if (const std::vector<MemberDescription>* info = object.TypeInfo()) {
    bool matched = false;
    if (callKind == DISPATCH_METHOD) {
      for (const MemberDescription& d : *info) {
        if (!d.isFunction || d.id != id) continue;
        for (size_t j = 0; j < count && j < d.byRef.size(); ++j) markedByRef[j] = d.byRef[j];
        callKind = (d.invokeKind == DISPATCH_PROPERTYPUT && count == 0) ? DISPATCH_PROPERTYGET
                                                                        : d.invokeKind;
        matched = true;
        break;
      }
    }
    if (!matched) {
      for (const MemberDescription& d : *info) {
        if (d.isFunction || d.id != id) continue;
        if (count > 0 && !d.byRef.empty() && d.byRef[0]) markedByRef[0] = true;
        if (callKind == DISPATCH_METHOD) callKind = DISPATCH_PROPERTYGET;
        break;
      }
    }
  }

  // Argument variants in the caller's order.
  std::vector<Variant> variants;
  variants.reserve(count);
  std::vector<bool> passedByRef(count, false);
  for (size_t j = 0; j < count; ++j) {
    const BridgeArgument& a = args[j];
    bool isHandleOrValue = a.kind == ArgKind::kObject || a.kind == ArgKind::kValue;
    bool byRef = (a.isVariable && a.kind == ArgKind::kValue) ||
                 (markedByRef[j] && isHandleOrValue) ||
                 (markedByRef[j] && a.isVariable && a.kind != ArgKind::kBytes &&
                  a.kind != ArgKind::kOmitted);
    if (byRef && a.isVariable && a.kind == ArgKind::kLogical &&
        *static_cast<std::int32_t*>(a.variable) != 0) {
      *static_cast<std::int32_t*>(a.variable) = -1;  // a true variable is the platform's true
    }
    variants.push_back(ArgumentVariant(a));
    variants.back().byRef = byRef;
    passedByRef[j] = byRef;
    if (byRef && a.kind == ArgKind::kObject && callKind == DISPATCH_PROPERTYPUT) {
      callKind = DISPATCH_PROPERTYPUTREF;
    }
  }
  std::vector<std::uint16_t> passedTypes;
  for (const Variant& v : variants) passedTypes.push_back(v.vt);

  std::int32_t hr = object.Invoke(id, callKind, variants, result);

  for (size_t j = 0; j < count; ++j) {
    if (passedByRef[j]) WriteBack(args[j], passedTypes[j], variants[j]);
  }
  return hr;
}

// The steps every member call shares. Gives false when a step failed; the
// code is in handle.lastResult.
bool MemberCall(AutomationObject& handle, const AnsiText& name, std::uint16_t callKind,
                const BridgeArguments& args, Variant* result) {
  if (!handle.object) {
    handle.lastResult = kE_POINTER;
    return false;
  }
  ObjectRef call = handle.object;  // the call's own reference, released on return
  DispatchObject* object = DispatchOf(call);
  handle.lastResult = object->QueryDispatch();
  if (handle.lastResult < 0) return false;
  std::int32_t id = 0;
  handle.lastResult = object->GetIDsOfNames(name, id);
  if (handle.lastResult < 0) return false;
  std::int32_t hr = InvokeMember(*object, id, callKind, result, args);
  handle.lastResult = hr;
  if (hr < 0) {
    if (result != nullptr) *result = variant::Empty();
    return false;
  }
  return true;
}

// --- conversions of VariantChangeType that the reads need ---

std::string Utf16LeBytesOf(const AnsiText& text) {
  std::string utf8 = AnsiToUtf8(text);
  std::string out;
  size_t i = 0;
  auto put = [&](std::uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    std::uint32_t cp = c;
    size_t len = 1;
    if (c >= 0xF0) cp = c & 0x07, len = 4;
    else if (c >= 0xE0) cp = c & 0x0F, len = 3;
    else if (c >= 0xC0) cp = c & 0x1F, len = 2;
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

AnsiText TextOfUtf16LeBytes(const ByteBuffer& bytes) {
  std::string utf8;
  auto append = [&](std::uint32_t cp) {
    if (cp < 0x80) {
      utf8.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      utf8.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t unit = bytes[i] | (bytes[i + 1] << 8);
    if (unit == 0) break;  // a wide string ends at its first NUL
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      std::uint32_t low = bytes[i + 2] | (bytes[i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        append(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    append(unit);
  }
  return Utf8ToAnsi(utf8);
}

std::string FormatReal(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  return buffer;
}

std::string FormatCurrency(std::int64_t scaled) {
  bool negative = scaled < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(scaled)
                                     : static_cast<std::uint64_t>(scaled);
  std::string out = std::to_string(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04u", static_cast<unsigned>(fraction));
    std::string digits = buffer;
    digits.erase(digits.find_last_not_of('0') + 1);
    out += "." + digits;
  }
  return negative ? "-" + out : out;
}

// A day count as the Chinese short date and long time: 2024/3/5 13:04:05;
// the date alone at midnight, the time alone on day 0.
std::string FormatDate(double dayCount) {
  double days = std::floor(dayCount);
  long long seconds = std::llround((dayCount - days) * 86400.0);
  if (seconds >= 86400) {
    days += 1;
    seconds -= 86400;
  }
  // Civil date from days since 1899-12-30 (days since 1970-01-01 + 25569).
  long long z = static_cast<long long>(days) - 25569 + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1;
  long long month = mp < 10 ? mp + 3 : mp - 9;
  long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[64];
  std::string out;
  if (days != 0) {
    std::snprintf(buffer, sizeof buffer, "%lld/%lld/%lld", year, month, day);
    out = buffer;
  }
  if (seconds != 0 || days == 0) {
    std::snprintf(buffer, sizeof buffer, "%s%lld:%02lld:%02lld", out.empty() ? "" : " ",
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
    out += buffer;
  }
  return out;
}

// VariantChangeType to VT_BSTR with flags 0.
bool ToText(const Variant& v, AnsiText& text) {
  switch (v.vt) {
    case VT_EMPTY:
      text.clear();
      return true;
    case VT_BSTR:
      text = v.text;
      return true;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
      text = std::to_string(v.integer);
      return true;
    case VT_UI8:
      text = std::to_string(static_cast<std::uint64_t>(v.integer));
      return true;
    case VT_BOOL:  // without VARIANT_ALPHABOOL a logical turns into its number
      text = std::to_string(static_cast<std::int16_t>(v.integer));
      return true;
    case VT_R4:
      text = FormatReal(v.real, 7);
      return true;
    case VT_R8:
      text = FormatReal(v.real, 15);
      return true;
    case VT_CY:
      text = FormatCurrency(v.integer);
      return true;
    case VT_DATE:
      text = FormatDate(v.real);
      return true;
    case VT_ARRAY | VT_UI1:
    case VT_ARRAY | VT_I1:  // the bytes are taken as the wide string's own bytes
      text = TextOfUtf16LeBytes(v.bytes);
      return true;
    default:  // null, error, interfaces
      return false;
  }
}

}  // namespace

std::int32_t ChangeTypeToText(const Variant& value, AnsiText& text) {
  return ToText(value, text) ? kS_OK : kDISP_E_TYPEMISMATCH;
}

std::int32_t ChangeTypeToInt32(const Variant& value, std::int32_t& number) {
  double real = 0;
  switch (value.vt) {
    case VT_EMPTY:
      number = 0;
      return kS_OK;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_BOOL:
      if (value.integer < INT32_MIN || value.integer > INT32_MAX) return kDISP_E_OVERFLOW;
      number = static_cast<std::int32_t>(value.integer);
      return kS_OK;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      real = value.real;
      break;
    case VT_CY:
      real = static_cast<double>(value.integer) / 10000.0;
      break;
    case VT_BSTR: {
      // Plain decimal numbers only; anything else does not convert.
      std::string digits = value.text;
      size_t start = digits.find_first_not_of(' ');
      size_t end = digits.find_last_not_of(' ');
      if (start == std::string::npos) return kDISP_E_TYPEMISMATCH;
      digits = digits.substr(start, end - start + 1);
      char* stop = nullptr;
      real = std::strtod(digits.c_str(), &stop);
      if (stop == digits.c_str() || *stop != '\0' || !std::isfinite(real)) return kDISP_E_TYPEMISMATCH;
      break;
    }
    default:
      return kDISP_E_TYPEMISMATCH;
  }
  real = std::nearbyint(real);  // rounds half to even, as the platform does
  if (!(real >= INT32_MIN && real <= INT32_MAX)) return kDISP_E_OVERFLOW;
  number = static_cast<std::int32_t>(real);
  return kS_OK;
}

void CallMethod(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant scratch = variant::Empty();
  MemberCall(handle, name, DISPATCH_METHOD, args, &scratch);
}

bool PutProperty(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  return MemberCall(handle, name, DISPATCH_PROPERTYPUT, args, nullptr) &&
         handle.lastResult == kS_OK;
}

// Reads ask for a property or a method's result alike, as on Windows, where
// an object dispatching through its type information finds a method only
// when the method flag is set too.
constexpr std::uint16_t kReadCallKind = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

AnsiText ReadText(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant result = variant::Empty();
  if (!MemberCall(handle, name, kReadCallKind, args, &result)) return {};
  AnsiText text;
  if (!ToText(result, text)) return {};
  return UpToNul(text);
}

double ReadNumber(AutomationObject& handle, const AnsiText& name, const BridgeArguments& args) {
  Variant result = variant::Empty();
  if (!MemberCall(handle, name, kReadCallKind, args, &result)) return 0;
  switch (result.vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
      return static_cast<double>(result.integer);
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return result.real;
    case VT_CY:
      return static_cast<double>(result.integer) / 10000.0;
    case VT_BOOL:  // VarR8FromBool: the 16-bit value itself, -1 for true
      return static_cast<std::int16_t>(result.integer);
    default:
      return 0;
  }
}

AutomationValue ReadValue(AutomationObject& handle, const AnsiText& name,
                          const BridgeArguments& args) {
  Variant result = variant::Empty();
  MemberCall(handle, name, kReadCallKind, args, &result);
  return ValueOf(std::move(result));
}

void ClearValue(AutomationValue& value) { value.impl() = variant::Empty(); }

bool AssignValue(AutomationValue& value, const ByteBuffer* content) {
  if (content == nullptr) {
    ClearValue(value);
    return true;
  }
  if (content->empty()) return false;
  value.impl() = variant::Bytes(*content);
  return true;
}

ByteBuffer ValueToBytes(const AutomationValue& value) {
  const Variant& v = value.impl();
  if (v.vt == (VT_ARRAY | VT_UI1) || v.vt == (VT_ARRAY | VT_I1)) return v.bytes;
  // VariantChangeType to a byte array: only a string converts, as the bytes
  // of its wide form.
  if (v.vt == VT_BSTR) {
    std::string wide = Utf16LeBytesOf(v.text);
    return ByteBuffer(wide.begin(), wide.end());
  }
  return {};
}

}  // namespace tavrel
