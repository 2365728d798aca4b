// The recording request object on Windows: a small IDispatch without type
// information that logs every call it receives and answers reads from a
// canned response.

#include <ole2.h>
#include <oleauto.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "runtime/codepage_win.h"
#include "runtime/ole_values_win.h"
#include "tests/support/recording_object.h"

namespace tavrel::testing {

namespace {

constexpr std::array<const wchar_t*, 9> kMembers = {L"SetTimeouts",
                                                    L"SetProxy",
                                                    L"Open",
                                                    L"Option",
                                                    L"SetRequestHeader",
                                                    L"Send",
                                                    L"ResponseBody",
                                                    L"GetAllResponseHeaders",
                                                    L"Status"};

constexpr DISPID kResponseBody = 7;
constexpr DISPID kGetAllResponseHeaders = 8;
constexpr DISPID kStatus = 9;

std::string FormatNumber(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string FormatArgument(const VARIANT& argument) {
  if (V_VT(&argument) == (VT_VARIANT | VT_BYREF)) {
    return V_VARIANTREF(&argument) != nullptr ? FormatArgument(*V_VARIANTREF(&argument)) : "empty";
  }
  // A by-reference argument is logged by the value it points at.
  VARIANT value;
  VariantInit(&value);
  if ((V_VT(&argument) & VT_BYREF) != 0) {
    if (FAILED(VariantCopyInd(&value, const_cast<VARIANT*>(&argument)))) return "?";
  } else if (FAILED(VariantCopy(&value, const_cast<VARIANT*>(&argument)))) {
    return "?";
  }

  std::string text;
  switch (V_VT(&value)) {
    case VT_EMPTY:
      text = "empty";
      break;
    case VT_BSTR:
      text = "\"" + BstrToAnsi(V_BSTR(&value)) + "\"";
      break;
    case VT_BOOL:
      text = V_BOOL(&value) != VARIANT_FALSE ? "true" : "false";
      break;
    case VT_I1:
      text = std::to_string(V_I1(&value));
      break;
    case VT_I2:
      text = std::to_string(V_I2(&value));
      break;
    case VT_I4:
      text = std::to_string(V_I4(&value));
      break;
    case VT_INT:
      text = std::to_string(V_INT(&value));
      break;
    case VT_I8:
      text = std::to_string(V_I8(&value));
      break;
    case VT_UI1:
      text = std::to_string(V_UI1(&value));
      break;
    case VT_UI2:
      text = std::to_string(V_UI2(&value));
      break;
    case VT_UI4:
      text = std::to_string(V_UI4(&value));
      break;
    case VT_R4:
      text = FormatNumber("%g", V_R4(&value));
      break;
    case VT_R8:
      text = FormatNumber("%g", V_R8(&value));
      break;
    case VT_DATE:
      text = FormatNumber("%g", V_DATE(&value));
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      text = "object";
      break;
    case VT_ARRAY | VT_UI1: {
      text = "bytes:";
      SAFEARRAY* array = V_ARRAY(&value);
      LONG lower = 0;
      LONG upper = -1;
      if (array != nullptr && SafeArrayGetDim(array) == 1 &&
          SUCCEEDED(SafeArrayGetLBound(array, 1, &lower)) &&
          SUCCEEDED(SafeArrayGetUBound(array, 1, &upper)) && upper >= lower) {
        const SafeArrayData data(array);
        const auto* bytes = static_cast<const unsigned char*>(data.Get());
        for (LONG index = 0; data.Ok() && index <= upper - lower; ++index) {
          char hex[3];
          std::snprintf(hex, sizeof hex, "%02x", bytes[index]);
          text += hex;
        }
      }
      break;
    }
    default:
      text = "vt" + std::to_string(V_VT(&value));
      break;
  }
  VariantClear(&value);
  return text;
}

class RecordingObject final : public IDispatch {
 public:
  RecordingObject(std::shared_ptr<CallLog> log, FakeResponse response)
      : log_(std::move(log)), response_(std::move(response)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return DISP_E_BADINDEX;
  }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr) return E_POINTER;
    HRESULT result = S_OK;
    for (UINT index = 0; index < count; ++index) {
      ids[index] = DISPID_UNKNOWN;
      for (std::size_t member = 0; member < kMembers.size(); ++member) {
        if (names[index] != nullptr && _wcsicmp(names[index], kMembers[member]) == 0) {
          ids[index] = static_cast<DISPID>(member + 1);
        }
      }
      if (ids[index] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(kMembers.size())) return DISP_E_MEMBERNOTFOUND;

    std::string line;
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
      line = "put ";
    } else if ((flags & DISPATCH_PROPERTYGET) != 0) {
      line = "get ";
    }
    line += WideToAnsi(kMembers[id - 1], std::wcslen(kMembers[id - 1]));
    line += "(";
    // The arguments arrive last first; the log shows them in the caller's order.
    const UINT count = parameters != nullptr ? parameters->cArgs : 0;
    for (UINT index = count; index > 0; --index) {
      if (index != count) line += ", ";
      line += FormatArgument(parameters->rgvarg[index - 1]);
    }
    line += ")";
    log_->push_back(line);

    if (result == nullptr) return S_OK;
    switch (id) {
      case kResponseBody: {
        SAFEARRAY* array =
            SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(response_.body.size()));
        if (array == nullptr) return E_OUTOFMEMORY;
        if (!response_.body.empty()) {
          const SafeArrayData data(array);
          if (data.Ok()) std::memcpy(data.Get(), response_.body.data(), response_.body.size());
        }
        V_VT(result) = VT_ARRAY | VT_UI1;
        V_ARRAY(result) = array;
        return S_OK;
      }
      case kGetAllResponseHeaders:
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = AnsiToBstr(response_.headers).Detach();
        return S_OK;
      case kStatus:
        V_VT(result) = VT_I4;
        V_I4(result) = response_.status;
        return S_OK;
      default:
        return S_OK;
    }
  }

 private:
  ~RecordingObject() = default;

  std::atomic<ULONG> references_{1};
  std::shared_ptr<CallLog> log_;
  FakeResponse response_;
};

}  // namespace

AutomationObject MakeRecordingObject(std::shared_ptr<CallLog> log, FakeResponse response) {
  AutomationObject handle;
  auto* object = new RecordingObject(std::move(log), std::move(response));
  handle.object = ObjectRef::Adopt(static_cast<IUnknown*>(object));
  return handle;
}

}  // namespace tavrel::testing
