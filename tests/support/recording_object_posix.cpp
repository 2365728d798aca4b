// The recording request object on Linux: an object of the bridge's own kind,
// without type information, that logs every call it receives and answers
// reads from a canned response. Its lines match the Windows half exactly.

#include <cstdio>
#include <string>
#include <utility>

#include "runtime/automation_posix.h"
#include "tests/support/recording_object.h"

namespace tavrel::testing {

namespace {

constexpr const char* kMembers[] = {"SetTimeouts",  "SetProxy",
                                    "Open",         "Option",
                                    "SetRequestHeader", "Send",
                                    "ResponseBody", "GetAllResponseHeaders",
                                    "Status"};
constexpr std::int32_t kMemberCount = sizeof kMembers / sizeof kMembers[0];
constexpr std::int32_t kResponseBody = 7;
constexpr std::int32_t kGetAllResponseHeaders = 8;
constexpr std::int32_t kStatus = 9;

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

std::string FormatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string FormatArgument(const Variant& v) {
  switch (v.vt) {
    case VT_EMPTY:
      return "empty";
    case VT_BSTR: {
      std::string text(1, '"');
      text.append(v.text, 0, v.text.find('\0'));
      text.push_back('"');
      return text;
    }
    case VT_BOOL:
      return v.integer != 0 ? "true" : "false";
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
      return std::to_string(v.integer);
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return FormatNumber(v.real);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return "object";
    case VT_ARRAY | VT_UI1: {
      std::string text = "bytes:";
      for (std::uint8_t byte : v.bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        text += hex;
      }
      return text;
    }
    default:
      return "vt" + std::to_string(v.vt);
  }
}

class RecordingObject final : public DispatchObject {
 public:
  RecordingObject(std::shared_ptr<CallLog> log, FakeResponse response)
      : log_(std::move(log)), response_(std::move(response)) {}

  std::int32_t GetIDsOfNames(const AnsiText& name, std::int32_t& id) override {
    for (std::int32_t member = 0; member < kMemberCount; ++member) {
      if (EqualsIgnoringCase(name, kMembers[member])) {
        id = member + 1;
        return kS_OK;
      }
    }
    return kDISP_E_UNKNOWNNAME;
  }

  std::int32_t Invoke(std::int32_t id, std::uint16_t callKind, std::span<Variant> args,
                      Variant* result) override {
    if (id < 1 || id > kMemberCount) return kDISP_E_MEMBERNOTFOUND;
    std::string line;
    if ((callKind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
      line = "put ";
    } else if ((callKind & DISPATCH_PROPERTYGET) != 0) {
      line = "get ";
    }
    line += kMembers[id - 1];
    line += "(";
    for (std::size_t index = 0; index < args.size(); ++index) {
      if (index != 0) line += ", ";
      line += FormatArgument(args[index]);
    }
    line += ")";
    log_->push_back(line);

    if (result == nullptr) return kS_OK;
    switch (id) {
      case kResponseBody:
        *result = variant::Bytes(response_.body);
        break;
      case kGetAllResponseHeaders:
        *result = variant::Text(response_.headers);
        break;
      case kStatus:
        *result = variant::Int32(response_.status);
        break;
      default:
        break;
    }
    return kS_OK;
  }

 private:
  std::shared_ptr<CallLog> log_;
  FakeResponse response_;
};

}  // namespace

AutomationObject MakeRecordingObject(std::shared_ptr<CallLog> log, FakeResponse response) {
  AutomationObject handle;
  handle.object = MakeObject<RecordingObject>(std::move(log), std::move(response));
  return handle;
}

}  // namespace tavrel::testing
