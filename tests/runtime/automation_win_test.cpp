// The automation bridge against real platform objects and small dispatch
// objects of the test's own: creation, member calls, argument forms, result
// conversions and values.

#include <ole2.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/automation.h"
#include "runtime/automation_value_win.h"
#include "runtime/codepage_win.h"
#include "runtime/com_library.h"
#include "runtime/com_ptr_win.h"
#include "runtime/ole_values_win.h"
#include "tests/support/recording_object.h"

namespace tavrel {
namespace {

constexpr const char* kRequestProgId = "WinHttp.WinHttpRequest.5.1";
constexpr const char* kRequestClassId = "{2087C2F4-2CEF-4953-A8AB-66779B670495}";
constexpr const char* kUnknownProgId = "Tavrel.NoSuchObject.1";
constexpr const char* kUnknownClassId = "{5A1C0E7D-3B9F-4C21-9E4D-7F02A6B1C3D8}";

// ---- Dispatch objects of the tests -------------------------------------------

// The last call an object received: call kind, named arguments and the
// argument variants in the caller's order (by-reference ones as they came).
struct ReceivedCall {
  DISPID id = DISPID_UNKNOWN;
  WORD flags = 0;
  UINT namedCount = 0;
  DISPID namedId = 0;
  std::vector<VARTYPE> types;
  bool hadResult = false;
};

// Shared base: reference counting the tests can read.
class TestDispatch : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || (offersDispatch && IsEqualIID(iid, IID_IDispatch))) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  // A handle holding one more reference to this object.
  AutomationObject Handle() {
    AddRef();
    AutomationObject handle;
    handle.object = ObjectRef::Adopt(static_cast<IUnknown*>(this));
    return handle;
  }

  // The object lives on the test's stack: the count shows leaks and
  // over-releases instead of freeing anything.
  std::atomic<ULONG> references{1};
  bool offersDispatch = true;
  int invocations = 0;
  ReceivedCall last;

 protected:
  void Record(DISPID id, WORD flags, const DISPPARAMS* parameters, const VARIANT* result) {
    ++invocations;
    last = ReceivedCall{};
    last.id = id;
    last.flags = flags;
    last.hadResult = result != nullptr;
    last.namedCount = parameters->cNamedArgs;
    if (parameters->cNamedArgs > 0) last.namedId = parameters->rgdispidNamedArgs[0];
    for (UINT index = parameters->cArgs; index > 0; --index) {
      last.types.push_back(V_VT(&parameters->rgvarg[index - 1]));
    }
  }
};

// Members answer with a scripted code and fill the result as the script says;
// no type information.
class ScriptedObject final : public TestDispatch {
 public:
  using Answer = std::function<void(VARIANT* result, DISPPARAMS* parameters)>;

  void Script(std::wstring name, HRESULT code, Answer answer = {}) {
    members_.push_back({std::move(name), code, std::move(answer)});
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    for (std::size_t index = 0; index < members_.size(); ++index) {
      if (_wcsicmp(names[0], members_[index].name.c_str()) == 0) {
        ids[0] = static_cast<DISPID>(index + 1);
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    Record(id, flags, parameters, result);
    const Member& member = members_.at(static_cast<std::size_t>(id - 1));
    if (member.answer) member.answer(result, parameters);
    return member.code;
  }

 private:
  struct Member {
    std::wstring name;
    HRESULT code;
    Answer answer;
  };
  std::vector<Member> members_;
};

// An object with type information made by CreateDispTypeInfo, so the bridge's
// parameter scan sees declared by-reference parameters:
//   Rewrite([in, out] BSTR* text)   replaces the text
//   Open(BSTR method, BSTR url, VARIANT_BOOL async)
//   Count([in, out] long* counter)  adds one
//   Label                           a property put with one text parameter
//   Flip([in, out] VARIANT_BOOL* flag)      negates the flag
//   Target([in, out] IDispatch** object)    a property put that swaps the object
class TypedObject final : public TestDispatch {
 public:
  enum : DISPID { kRewrite = 1, kOpen, kCount, kLabel, kFlip, kTarget };

  TypedObject() {
    static PARAMDATA rewriteParams[] = {{const_cast<OLECHAR*>(L"text"), VT_BSTR | VT_BYREF}};
    static PARAMDATA openParams[] = {{const_cast<OLECHAR*>(L"method"), VT_BSTR},
                                     {const_cast<OLECHAR*>(L"url"), VT_BSTR},
                                     {const_cast<OLECHAR*>(L"async"), VT_BOOL}};
    static PARAMDATA countParams[] = {{const_cast<OLECHAR*>(L"counter"), VT_I4 | VT_BYREF}};
    static PARAMDATA labelParams[] = {{const_cast<OLECHAR*>(L"value"), VT_BSTR}};
    static PARAMDATA flipParams[] = {{const_cast<OLECHAR*>(L"flag"), VT_BOOL | VT_BYREF}};
    static PARAMDATA targetParams[] = {{const_cast<OLECHAR*>(L"object"), VT_DISPATCH | VT_BYREF}};
    static METHODDATA methods[] = {
        {const_cast<OLECHAR*>(L"Rewrite"), rewriteParams, kRewrite, 7, CC_STDCALL, 1,
         DISPATCH_METHOD, VT_EMPTY},
        {const_cast<OLECHAR*>(L"Open"), openParams, kOpen, 8, CC_STDCALL, 3, DISPATCH_METHOD,
         VT_EMPTY},
        {const_cast<OLECHAR*>(L"Count"), countParams, kCount, 9, CC_STDCALL, 1, DISPATCH_METHOD,
         VT_EMPTY},
        {const_cast<OLECHAR*>(L"Label"), labelParams, kLabel, 10, CC_STDCALL, 1,
         DISPATCH_PROPERTYPUT, VT_EMPTY},
        {const_cast<OLECHAR*>(L"Flip"), flipParams, kFlip, 11, CC_STDCALL, 1, DISPATCH_METHOD,
         VT_EMPTY},
        {const_cast<OLECHAR*>(L"Target"), targetParams, kTarget, 12, CC_STDCALL, 1,
         DISPATCH_PROPERTYPUT, VT_EMPTY},
    };
    static INTERFACEDATA data = {methods, 6};

    ComPtr<ITypeInfo> made;
    if (FAILED(CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, made.Put()))) return;
    // The call hands out a class; its methods live in the interface it implements.
    TYPEATTR* attr = nullptr;
    if (FAILED(made->GetTypeAttr(&attr))) return;
    const bool isClass = attr->typekind == TKIND_COCLASS;
    made->ReleaseTypeAttr(attr);
    HREFTYPE reference = 0;
    if (isClass && SUCCEEDED(made->GetRefTypeOfImplType(0, &reference))) {
      made->GetRefTypeInfo(reference, info_.Put());
    } else {
      info_ = std::move(made);
    }
  }

  bool HasTypeInfo() const { return static_cast<bool>(info_); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = info_ ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    *info = nullptr;
    if (index != 0 || !info_) return DISP_E_BADINDEX;
    info_->AddRef();
    *info = info_.Get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    static const wchar_t* const kNames[] = {L"Rewrite", L"Open", L"Count",
                                            L"Label",   L"Flip", L"Target"};
    for (DISPID id = kRewrite; id <= kTarget; ++id) {
      if (_wcsicmp(names[0], kNames[id - 1]) == 0) {
        ids[0] = id;
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    Record(id, flags, parameters, nullptr);
    seenTexts.clear();
    for (UINT index = parameters->cArgs; index > 0; --index) {
      VARIANT& argument = parameters->rgvarg[index - 1];
      if (V_VT(&argument) == VT_BSTR) seenTexts.push_back(BstrToAnsi(V_BSTR(&argument)));
      if (V_VT(&argument) == (VT_BSTR | VT_BYREF)) {
        seenTexts.push_back(BstrToAnsi(*V_BSTRREF(&argument)));
      }
    }
    if (id == kRewrite && parameters->cArgs == 1 &&
        V_VT(&parameters->rgvarg[0]) == (VT_BSTR | VT_BYREF)) {
      BSTR* text = V_BSTRREF(&parameters->rgvarg[0]);
      SysFreeString(*text);
      *text = SysAllocString(L"校时完成");
    }
    if (id == kCount && parameters->cArgs == 1 &&
        V_VT(&parameters->rgvarg[0]) == (VT_I4 | VT_BYREF)) {
      *V_I4REF(&parameters->rgvarg[0]) += 1;
    }
    if (id == kFlip && parameters->cArgs == 1 &&
        V_VT(&parameters->rgvarg[0]) == (VT_BOOL | VT_BYREF)) {
      VARIANT_BOOL* flag = V_BOOLREF(&parameters->rgvarg[0]);
      seenFlag = *flag;
      *flag = *flag != VARIANT_FALSE ? VARIANT_FALSE : VARIANT_TRUE;
    }
    if (id == kTarget && parameters->cArgs == 1 &&
        V_VT(&parameters->rgvarg[0]) == (VT_DISPATCH | VT_BYREF)) {
      // An in/out reference: the old object is let go, the new one handed over.
      IDispatch** object = V_DISPATCHREF(&parameters->rgvarg[0]);
      seenObject = *object;
      if (*object != nullptr) (*object)->Release();
      *object = replacement;
      if (replacement != nullptr) replacement->AddRef();
    }
    // A by-value text is the member's to use, not to hand back: scribbling
    // on it must not reach the caller.
    for (UINT index = 0; index < parameters->cArgs; ++index) {
      VARIANT& argument = parameters->rgvarg[index];
      if (V_VT(&argument) == VT_BSTR && SysStringLen(V_BSTR(&argument)) > 0) {
        V_BSTR(&argument)[0] = L'#';
      }
    }
    return S_OK;
  }

  std::vector<AnsiText> seenTexts;
  VARIANT_BOOL seenFlag = 0;
  IDispatch* seenObject = nullptr;
  IDispatch* replacement = nullptr;

 private:
  ComPtr<ITypeInfo> info_;
};

// ---- Fixture -----------------------------------------------------------------

class AutomationBridge : public ::testing::Test {
 protected:
  ComScope com_;
};

AutomationValue ValueHolding(const VARIANT& content) {
  auto impl = AutomationValue::Impl::Empty();
  EXPECT_EQ(VariantCopy(&impl->variant, const_cast<VARIANT*>(&content)), S_OK);
  return AutomationValue(std::move(impl));
}

// ---- The component library scope ---------------------------------------------

TEST(ComScope, InitialisesForTheScopeAndUndoesOnlyWhatItDid) {
  std::thread([] {
    {
      ComScope scope;
      EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // already initialised by the scope
      CoUninitialize();
    }
    EXPECT_EQ(CoInitialize(nullptr), S_OK);  // the scope's initialisation was undone
    CoUninitialize();
  }).join();

  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    { ComScope scope; }  // refused: the thread already runs another apartment model
    // The thread's own initialisation is still in place.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  }).join();
}

// ---- Creating and letting go -------------------------------------------------

TEST_F(AutomationBridge, CreateObjectWithoutIdentifierLeavesHandleEmptyWithResultZero) {
  AutomationObject handle;
  handle.lastResult = kE_POINTER;
  EXPECT_FALSE(CreateObject(handle, std::nullopt));
  EXPECT_FALSE(handle.object);
  EXPECT_EQ(handle.lastResult, 0);
}

TEST_F(AutomationBridge, CreateObjectRefusesIdentifiersNothingAnswersTo) {
  CLSID scratch;
  const std::wstring progId = AnsiToWide(kUnknownProgId);
  const HRESULT fromString = CLSIDFromString(progId.c_str(), &scratch);
  ASSERT_TRUE(FAILED(fromString));

  struct Case {
    const char* identifier;
    HRESULT expected;
  } const cases[] = {
      {kUnknownProgId, fromString},            // neither ProgID nor class text
      {kUnknownClassId, REGDB_E_CLASSNOTREG},  // a class text no server registered
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.identifier);
    AutomationObject handle;
    EXPECT_FALSE(CreateObject(handle, AnsiText(c.identifier)));
    EXPECT_FALSE(handle.object);
    EXPECT_EQ(handle.lastResult, c.expected);
  }

  AutomationObject handle;
  EXPECT_FALSE(CreateObject(handle, AnsiText()));  // a present but empty identifier
  EXPECT_FALSE(handle.object);
  EXPECT_TRUE(FAILED(handle.lastResult));
}

TEST_F(AutomationBridge, CreateObjectByProgIdAndByBraceClassIdentifier) {
  for (const char* identifier : {kRequestProgId, kRequestClassId}) {
    SCOPED_TRACE(identifier);
    AutomationObject handle;
    ASSERT_TRUE(CreateObject(handle, AnsiText(identifier)));
    EXPECT_TRUE(handle.object);
    EXPECT_EQ(handle.lastResult, S_OK);
    ReleaseObject(handle);
    EXPECT_FALSE(handle.object);
  }
}

TEST_F(AutomationBridge, CreateObjectLetsTheOldObjectGoFirstAlsoWhenCreationFails) {
  ScriptedObject old;
  AutomationObject handle = old.Handle();
  ASSERT_EQ(old.references, 2u);

  EXPECT_FALSE(CreateObject(handle, AnsiText(kUnknownClassId)));
  EXPECT_FALSE(handle.object);
  EXPECT_EQ(old.references, 1u);

  AutomationObject second = old.Handle();
  ASSERT_TRUE(CreateObject(second, AnsiText(kRequestProgId)));
  EXPECT_EQ(old.references, 1u);
  EXPECT_NE(second.object.Get(), static_cast<void*>(static_cast<IDispatch*>(&old)));
  ReleaseObject(second);
}

TEST_F(AutomationBridge, AssignObjectSharesTheReferenceAndReleaseObjectLetsItGo) {
  ScriptedObject object;
  AutomationObject source = object.Handle();
  source.lastResult = 5;
  AutomationObject target;
  target.lastResult = 7;

  AssignObject(target, source);
  EXPECT_EQ(target.object.Get(), source.object.Get());
  EXPECT_EQ(object.references, 3u);
  EXPECT_EQ(source.lastResult, 5);
  EXPECT_EQ(target.lastResult, 7);

  AssignObject(target, target);  // assigning a handle to itself keeps its one reference
  EXPECT_EQ(object.references, 3u);

  ReleaseObject(target);
  EXPECT_FALSE(target.object);
  EXPECT_EQ(target.lastResult, 0);
  EXPECT_EQ(object.references, 2u);

  AssignObject(source, target);  // from an empty handle: the target ends empty
  EXPECT_FALSE(source.object);
  EXPECT_EQ(object.references, 1u);
}

// ---- Member calls: failures --------------------------------------------------

TEST_F(AutomationBridge, MemberCallsOnAnEmptyHandleGiveFailureResultsAndEPointer) {
  AutomationObject handle;
  const BridgeArguments value = {arg::Int32(1)};

  CallMethod(handle, "Send");
  EXPECT_EQ(handle.lastResult, kE_POINTER);
  handle.lastResult = 0;
  EXPECT_FALSE(PutProperty(handle, "Option", value));
  EXPECT_EQ(handle.lastResult, kE_POINTER);
  handle.lastResult = 0;
  EXPECT_EQ(ReadText(handle, "GetAllResponseHeaders"), "");
  EXPECT_EQ(handle.lastResult, kE_POINTER);
  handle.lastResult = 0;
  EXPECT_EQ(ReadNumber(handle, "Status"), 0);
  EXPECT_EQ(handle.lastResult, kE_POINTER);
  handle.lastResult = 0;
  AutomationValue read = ReadValue(handle, "ResponseBody");
  EXPECT_EQ(V_VT(&read.impl().variant), VT_EMPTY);
  EXPECT_EQ(handle.lastResult, kE_POINTER);
}

TEST_F(AutomationBridge, UnknownMemberNameFailsBeforeAnyCallAndReleasesTheDispatch) {
  ScriptedObject object;
  object.Script(L"Status", S_OK, [](VARIANT* result, DISPPARAMS*) {
    V_VT(result) = VT_I4;
    V_I4(result) = 200;
  });
  AutomationObject handle = object.Handle();

  CallMethod(handle, "Abort");
  EXPECT_EQ(handle.lastResult, kDISP_E_UNKNOWNNAME);
  EXPECT_EQ(ReadText(handle, "StatusText"), "");
  EXPECT_EQ(ReadNumber(handle, "Statu"), 0);
  EXPECT_FALSE(PutProperty(handle, "Option", {arg::Int32(4), arg::Int32(1)}));
  EXPECT_EQ(handle.lastResult, kDISP_E_UNKNOWNNAME);
  EXPECT_EQ(object.invocations, 0);
  EXPECT_EQ(object.references, 2u);  // the test's and the handle's

  // Names are matched as the object matches them, here without regard to case.
  EXPECT_EQ(ReadNumber(handle, "status"), 200);
  EXPECT_EQ(handle.lastResult, S_OK);
  EXPECT_EQ(object.references, 2u);
  ReleaseObject(handle);
  EXPECT_EQ(object.references, 1u);
}

TEST_F(AutomationBridge, ObjectWithoutDispatchInterfaceGivesTheQueryInterfaceCode) {
  ScriptedObject object;
  object.offersDispatch = false;
  object.Script(L"Status", S_OK);
  AutomationObject handle = object.Handle();

  EXPECT_EQ(ReadNumber(handle, "Status"), 0);
  EXPECT_EQ(handle.lastResult, kE_NOINTERFACE);
  EXPECT_EQ(object.invocations, 0);
  ReleaseObject(handle);
  EXPECT_EQ(object.references, 1u);
}

TEST_F(AutomationBridge, FailedCallGivesFailureResultsEvenWhenTheObjectFilledTheResult) {
  ScriptedObject object;
  object.Script(L"Broken", DISP_E_TYPEMISMATCH, [](VARIANT* result, DISPPARAMS*) {
    if (result == nullptr) return;
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(L"200");
  });
  AutomationObject handle = object.Handle();

  EXPECT_EQ(ReadText(handle, "Broken"), "");
  EXPECT_EQ(handle.lastResult, kDISP_E_TYPEMISMATCH);
  EXPECT_EQ(ReadNumber(handle, "Broken"), 0);
  AutomationValue value = ReadValue(handle, "Broken");
  EXPECT_EQ(V_VT(&value.impl().variant), VT_EMPTY);
  EXPECT_TRUE(ValueToBytes(value).empty());
  EXPECT_FALSE(PutProperty(handle, "Broken", {arg::Int32(1)}));
  ReleaseObject(handle);
}

// ---- Member calls: call kinds and arguments ----------------------------------

TEST_F(AutomationBridge, CallKindsResultVariantsAndThePutNamedArgument) {
  ScriptedObject object;
  object.Script(L"Member", S_OK);
  AutomationObject handle = object.Handle();

  CallMethod(handle, "Member", {arg::Int32(1)});
  EXPECT_EQ(object.last.flags, DISPATCH_METHOD);
  EXPECT_TRUE(object.last.hadResult);
  EXPECT_EQ(object.last.namedCount, 0u);

  EXPECT_TRUE(PutProperty(handle, "Member", {arg::Int32(6), arg::Logical(false)}));
  EXPECT_EQ(object.last.flags, DISPATCH_PROPERTYPUT);
  EXPECT_FALSE(object.last.hadResult);
  EXPECT_EQ(object.last.namedCount, 1u);
  EXPECT_EQ(object.last.namedId, DISPID_PROPERTYPUT);
  EXPECT_EQ(object.last.types, (std::vector<VARTYPE>{VT_I4, VT_BOOL}));

  // A read sets the method flag too, so that methods answer reads.
  ReadText(handle, "Member");
  EXPECT_EQ(object.last.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  EXPECT_TRUE(object.last.hadResult);
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, PutPropertyIsTrueOnlyForExactlySOk) {
  ScriptedObject object;
  object.Script(L"Accepted", S_OK);
  object.Script(L"Doubtful", S_FALSE);
  object.Script(L"Refused", E_INVALIDARG);
  AutomationObject handle = object.Handle();

  EXPECT_TRUE(PutProperty(handle, "Accepted", {arg::Int32(1)}));
  EXPECT_EQ(handle.lastResult, S_OK);
  EXPECT_FALSE(PutProperty(handle, "Doubtful", {arg::Int32(1)}));
  EXPECT_EQ(handle.lastResult, kS_FALSE);
  EXPECT_FALSE(PutProperty(handle, "Refused", {arg::Int32(1)}));
  EXPECT_EQ(handle.lastResult, kE_INVALIDARG);
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, EachArgumentKindTakesItsVariantForm) {
  ScriptedObject target;
  AutomationObject targetHandle = target.Handle();
  ScriptedObject object;
  AutomationObject handle = object.Handle();
  AutomationValue value;

  std::vector<std::pair<VARIANT, VARTYPE>> seen;
  object.Script(L"Look", S_OK, [&seen](VARIANT*, DISPPARAMS* parameters) {
    for (UINT index = parameters->cArgs; index > 0; --index) {
      seen.emplace_back(parameters->rgvarg[index - 1], V_VT(&parameters->rgvarg[index - 1]));
    }
  });

  const BridgeArguments arguments = {
      arg::Logical(true), arg::Int32(-7),        arg::Int16(-3),
      arg::Byte(255),     arg::Int64(1LL << 40), arg::Single(1.5f),
      arg::Double(2.25),  arg::Date(45000.5),    arg::SubroutineAddress(0xFFFFFFFFu),
      arg::Text("北京"),  arg::Bytes({1, 2}),    arg::Object(targetHandle),
      arg::Value(value),  arg::Omitted(),        arg::Int32(0),
  };
  CallMethod(handle, "Look", arguments);
  ASSERT_EQ(handle.lastResult, S_OK);
  ASSERT_EQ(seen.size(), arguments.size());

  const VARTYPE expected[] = {VT_BOOL,
                              VT_I4,
                              VT_I2,
                              VT_UI1,
                              VT_I8,
                              VT_R4,
                              VT_R8,
                              VT_DATE,
                              VT_UI4,
                              VT_BSTR,
                              VT_ARRAY | VT_UI1,
                              VT_DISPATCH,
                              VT_I4,
                              VT_EMPTY,
                              VT_I4};
  for (std::size_t index = 0; index < seen.size(); ++index) {
    EXPECT_EQ(seen[index].second, expected[index]) << "argument " << index;
  }
  EXPECT_EQ(V_BOOL(&seen[0].first), VARIANT_TRUE);
  EXPECT_EQ(V_I4(&seen[1].first), -7);
  EXPECT_EQ(V_I2(&seen[2].first), -3);
  EXPECT_EQ(V_UI1(&seen[3].first), 255);
  EXPECT_EQ(V_I8(&seen[4].first), 1LL << 40);
  EXPECT_EQ(V_R4(&seen[5].first), 1.5f);
  EXPECT_EQ(V_R8(&seen[6].first), 2.25);
  EXPECT_EQ(V_DATE(&seen[7].first), 45000.5);
  EXPECT_EQ(V_UI4(&seen[8].first), 0xFFFFFFFFu);
  // The argument variants are gone after the call; only the object reference,
  // which was lent and not added to, is still valid.
  EXPECT_EQ(V_DISPATCH(&seen[11].first), static_cast<IDispatch*>(&target));
  EXPECT_EQ(target.references, 2u);
  ReleaseObject(handle);
  ReleaseObject(targetHandle);
}

// An empty handle is still an object argument: a dispatch variant holding no
// object, not a missing argument.
TEST_F(AutomationBridge, AnEmptyHandleGoesAsADispatchVariantWithoutObject) {
  ScriptedObject object;
  std::vector<std::pair<VARTYPE, IDispatch*>> seen;
  object.Script(L"Look", S_OK, [&seen](VARIANT*, DISPPARAMS* parameters) {
    for (UINT index = parameters->cArgs; index > 0; --index) {
      const VARIANT& argument = parameters->rgvarg[index - 1];
      seen.emplace_back(V_VT(&argument), V_VT(&argument) == VT_DISPATCH ? V_DISPATCH(&argument)
                                                                          : nullptr);
    }
  });
  AutomationObject handle = object.Handle();
  AutomationObject empty;
  CallMethod(handle, "Look", {arg::Object(empty), arg::ObjectVariable(empty)});
  EXPECT_EQ(handle.lastResult, S_OK);
  EXPECT_EQ(seen, (std::vector<std::pair<VARTYPE, IDispatch*>>{{VT_DISPATCH, nullptr},
                                                               {VT_DISPATCH, nullptr}}));
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, ArgumentFormsAsTheRecordingObjectLogsThem) {
  auto log = std::make_shared<testing::CallLog>();
  AutomationObject handle = testing::MakeRecordingObject(log);

  CallMethod(handle, "Send",
             {arg::Logical(true), arg::Logical(false), arg::Int32(-15000), arg::Text("北京时间"),
              arg::Bytes({0x0a, 0xff}), arg::Double(2.5)});
  CallMethod(handle, "Open", {arg::Text("HEAD"), arg::Text("http://host/"), arg::Logical(false)});
  PutProperty(handle, "Option", {arg::Int32(4), arg::Int32(13056)});
  ReadNumber(handle, "Status");
  EXPECT_EQ(*log, (testing::CallLog{
                      "Send(true, false, -15000, \"北京时间\", bytes:0aff, 2.5)",
                      "Open(\"HEAD\", \"http://host/\", false)",
                      "put Option(4, 13056)",
                      "get Status()",
                  }));
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, AnOmittedLastArgumentIsDroppedAndOmittedOnesBeforeItAreEmpty) {
  auto log = std::make_shared<testing::CallLog>();
  AutomationObject handle = testing::MakeRecordingObject(log);

  CallMethod(handle, "Send", {arg::Omitted()});
  CallMethod(handle, "Send");
  CallMethod(handle, "Open", {arg::Text("HEAD"), arg::Omitted(), arg::Logical(false)});
  CallMethod(handle, "Open", {arg::Omitted(), arg::Text("x"), arg::Omitted()});
  // Only the last omitted argument is dropped.
  CallMethod(handle, "Open", {arg::Text("x"), arg::Omitted(), arg::Omitted()});
  EXPECT_EQ(*log, (testing::CallLog{
                      "Send()",
                      "Send()",
                      "Open(\"HEAD\", empty, false)",
                      "Open(empty, \"x\")",
                      "Open(\"x\", empty)",
                  }));
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, VariablesGoByValueUnlessDeclaredByReferenceButValuesAlwaysByReference) {
  ScriptedObject object;
  std::vector<VARTYPE> types;
  object.Script(L"Fill", S_OK, [&types](VARIANT*, DISPPARAMS* parameters) {
    types.clear();
    for (UINT index = parameters->cArgs; index > 0; --index) {
      VARIANT& argument = parameters->rgvarg[index - 1];
      types.push_back(V_VT(&argument));
      if (V_VT(&argument) == (VT_VARIANT | VT_BYREF)) {
        VARIANT* target = V_VARIANTREF(&argument);
        VariantClear(target);
        V_VT(target) = VT_BSTR;
        V_BSTR(target) = SysAllocString(L"filled");
      }
    }
  });
  AutomationObject handle = object.Handle();

  AnsiText text = "北京";
  std::int32_t number = 5;
  AutomationValue value;
  CallMethod(handle, "Fill",
             {arg::TextVariable(text), arg::Int32Variable(number), arg::ValueVariable(value)});
  EXPECT_EQ(types, (std::vector<VARTYPE>{VT_BSTR, VT_I4, VT_VARIANT | VT_BYREF}));
  EXPECT_EQ(text, "北京");
  EXPECT_EQ(number, 5);
  ASSERT_EQ(V_VT(&value.impl().variant), VT_BSTR);
  EXPECT_EQ(BstrToAnsi(V_BSTR(&value.impl().variant)), "filled");

  // A value given as a value goes as a copy: the member's changes stay its own.
  AutomationValue source;
  CallMethod(handle, "Fill", {arg::Value(source)});
  EXPECT_EQ(types, (std::vector<VARTYPE>{VT_I4}));
  EXPECT_EQ(V_VT(&source.impl().variant), VT_I4);
  ReleaseObject(handle);
}

// ---- Member calls: type information ------------------------------------------

class TypedBridge : public AutomationBridge {
 protected:
  void SetUp() override {
    ASSERT_TRUE(object_.HasTypeInfo());
    handle_ = object_.Handle();
  }
  void TearDown() override {
    ReleaseObject(handle_);
    EXPECT_EQ(object_.references, 1u);
  }

  TypedObject object_;
  AutomationObject handle_;
};

TEST_F(TypedBridge, DeclaredByReferenceTextIsRewrittenIntoTheCallersVariable) {
  AnsiText text = "北京时间";
  CallMethod(handle_, "Rewrite", {arg::TextVariable(text)});
  EXPECT_EQ(handle_.lastResult, S_OK);
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_BSTR | VT_BYREF}));
  EXPECT_EQ(object_.seenTexts, (std::vector<AnsiText>{"北京时间"}));
  EXPECT_EQ(text, "校时完成");

  // A text given as a value has no variable to write back to.
  CallMethod(handle_, "Rewrite", {arg::Text("北京")});
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_BSTR}));
}

TEST_F(TypedBridge, ByValueParametersLeaveTheCallersVariablesUnchanged) {
  AnsiText method = "HEAD";
  AnsiText url = "http://时间.example/";
  CallMethod(handle_, "Open",
             {arg::TextVariable(method), arg::TextVariable(url), arg::Logical(false)});
  EXPECT_EQ(handle_.lastResult, S_OK);
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_BSTR, VT_BSTR, VT_BOOL}));
  EXPECT_EQ(object_.seenTexts, (std::vector<AnsiText>{"HEAD", "http://时间.example/"}));
  EXPECT_EQ(method, "HEAD");
  EXPECT_EQ(url, "http://时间.example/");
}

TEST_F(TypedBridge, DeclaredByReferenceNumberIsSharedWithTheMember) {
  std::int32_t counter = 41;
  CallMethod(handle_, "Count", {arg::Int32Variable(counter)});
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_I4 | VT_BYREF}));
  EXPECT_EQ(counter, 42);

  CallMethod(handle_, "Count", {arg::Int32(1)});  // a plain value stays by value
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_I4}));
}

TEST_F(TypedBridge, DeclaredInvocationKindReplacesTheMethodCall) {
  CallMethod(handle_, "Label", {arg::Text("x")});
  EXPECT_EQ(object_.last.flags, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(object_.last.namedCount, 1u);
  EXPECT_EQ(object_.last.namedId, DISPID_PROPERTYPUT);

  // A property put called without arguments becomes a read.
  CallMethod(handle_, "Label");
  EXPECT_EQ(object_.last.flags, DISPATCH_PROPERTYGET);
  EXPECT_EQ(object_.last.namedCount, 0u);
}

TEST_F(TypedBridge, DeclaredByReferenceLogicalIsCarriedBothWays) {
  std::int32_t flag = 1;  // any true value goes as the platform's true
  CallMethod(handle_, "Flip", {arg::LogicalVariable(flag)});
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_BOOL | VT_BYREF}));
  EXPECT_EQ(object_.seenFlag, VARIANT_TRUE);
  EXPECT_EQ(flag, 0);
  CallMethod(handle_, "Flip", {arg::LogicalVariable(flag)});
  EXPECT_EQ(object_.seenFlag, VARIANT_FALSE);
  EXPECT_EQ(flag, -1);
}

TEST_F(TypedBridge, ObjectByReferenceTurnsAPutIntoAPutByReference) {
  ScriptedObject first;
  ScriptedObject second;
  AutomationObject held = first.Handle();
  object_.replacement = &second;

  CallMethod(handle_, "Target", {arg::ObjectVariable(held)});
  EXPECT_EQ(object_.last.flags, DISPATCH_PROPERTYPUTREF);
  EXPECT_EQ(object_.last.namedId, DISPID_PROPERTYPUT);
  EXPECT_EQ(object_.last.types, (std::vector<VARTYPE>{VT_DISPATCH | VT_BYREF}));
  EXPECT_EQ(object_.seenObject, static_cast<IDispatch*>(&first));
  // The member replaced the object in the caller's own handle.
  EXPECT_EQ(held.object.Get(), static_cast<void*>(static_cast<IDispatch*>(&second)));
  EXPECT_EQ(first.references, 1u);
  EXPECT_EQ(second.references, 2u);
  ReleaseObject(held);
  EXPECT_EQ(second.references, 1u);
}

// ---- Reading results ---------------------------------------------------------

TEST_F(AutomationBridge, ReadTextConvertsStringsAndCoercesOtherResults) {
  struct Case {
    const char* name;
    std::function<void(VARIANT*)> fill;
    AnsiText expected;
  };
  const std::vector<Case> cases = {
      {"number",
       [](VARIANT* v) {
         V_VT(v) = VT_I4;
         V_I4(v) = 200;
       },
       "200"},
      {"text",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = SysAllocString(L"北京时间");
       },
       "北京时间"},
      {"text with NUL",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = SysAllocStringLen(L"ab\0cd", 5);
       },
       "ab"},
      {"null string",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = nullptr;
       },
       ""},
      {"empty", [](VARIANT*) {}, ""},
      {"null", [](VARIANT* v) { V_VT(v) = VT_NULL; }, ""},
      {"real",
       [](VARIANT* v) {
         V_VT(v) = VT_R8;
         V_R8(v) = 2.5;
       },
       ""},  // locale-dependent
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedObject object;
    object.Script(L"Member", S_OK, [&c](VARIANT* result, DISPPARAMS*) { c.fill(result); });
    AutomationObject handle = object.Handle();
    const AnsiText text = ReadText(handle, "Member");
    if (std::string(c.name) == "real") {
      EXPECT_TRUE(text == "2.5" || text == "2,5") << text;
    } else {
      EXPECT_EQ(text, c.expected);
    }
    EXPECT_EQ(handle.lastResult, S_OK);
    ReleaseObject(handle);
  }
}

TEST_F(AutomationBridge, ReadNumberFollowsTheResultTypeAndDoesNotParseStrings) {
  struct Case {
    const char* name;
    std::function<void(VARIANT*)> fill;
    double expected;
  };
  const std::vector<Case> cases = {
      {"I1",
       [](VARIANT* v) {
         V_VT(v) = VT_I1;
         V_I1(v) = -5;
       },
       -5},
      {"I2",
       [](VARIANT* v) {
         V_VT(v) = VT_I2;
         V_I2(v) = -300;
       },
       -300},
      {"I4",
       [](VARIANT* v) {
         V_VT(v) = VT_I4;
         V_I4(v) = 200;
       },
       200},
      {"UI1",
       [](VARIANT* v) {
         V_VT(v) = VT_UI1;
         V_UI1(v) = 250;
       },
       250},
      {"UI2",
       [](VARIANT* v) {
         V_VT(v) = VT_UI2;
         V_UI2(v) = 65535;
       },
       65535},
      {"UI4",
       [](VARIANT* v) {
         V_VT(v) = VT_UI4;
         V_UI4(v) = 0xFFFFFFFFu;
       },
       4294967295.0},
      {"R4",
       [](VARIANT* v) {
         V_VT(v) = VT_R4;
         V_R4(v) = 1.5f;
       },
       1.5},
      {"R8",
       [](VARIANT* v) {
         V_VT(v) = VT_R8;
         V_R8(v) = -2.25;
       },
       -2.25},
      {"DATE",
       [](VARIANT* v) {
         V_VT(v) = VT_DATE;
         V_DATE(v) = 45000.75;
       },
       45000.75},
      {"CY",
       [](VARIANT* v) {
         V_VT(v) = VT_CY;
         V_CY(v).int64 = 123456;
       },
       12.3456},
      {"BOOL true",
       [](VARIANT* v) {
         V_VT(v) = VT_BOOL;
         V_BOOL(v) = VARIANT_TRUE;
       },
       -1},
      {"BOOL false",
       [](VARIANT* v) {
         V_VT(v) = VT_BOOL;
         V_BOOL(v) = VARIANT_FALSE;
       },
       0},
      {"string",
       [](VARIANT* v) {
         V_VT(v) = VT_BSTR;
         V_BSTR(v) = SysAllocString(L"200");
       },
       0},
      {"I8",
       [](VARIANT* v) {
         V_VT(v) = VT_I8;
         V_I8(v) = 7;
       },
       0},
      {"empty", [](VARIANT*) {}, 0},
      {"null", [](VARIANT* v) { V_VT(v) = VT_NULL; }, 0},
      {"error",
       [](VARIANT* v) {
         V_VT(v) = VT_ERROR;
         V_ERROR(v) = 5;
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedObject object;
    object.Script(L"Member", S_OK, [&c](VARIANT* result, DISPPARAMS*) { c.fill(result); });
    AutomationObject handle = object.Handle();
    EXPECT_DOUBLE_EQ(ReadNumber(handle, "Member"), c.expected);
    ReleaseObject(handle);
  }
}

TEST_F(AutomationBridge, ReadValueHandsOverWhatTheMemberReturned) {
  ScriptedObject object;
  object.Script(L"Headers", S_OK, [](VARIANT* result, DISPPARAMS*) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(L"Date: x");
  });
  object.Script(L"Nothing", S_OK);
  AutomationObject handle = object.Handle();

  AutomationValue value = ReadValue(handle, "Headers");
  ASSERT_EQ(V_VT(&value.impl().variant), VT_BSTR);
  EXPECT_EQ(BstrToAnsi(V_BSTR(&value.impl().variant)), "Date: x");
  ClearValue(value);
  EXPECT_EQ(V_VT(&value.impl().variant), VT_EMPTY);

  AutomationValue nothing = ReadValue(handle, "Nothing");
  EXPECT_EQ(V_VT(&nothing.impl().variant), VT_EMPTY);  // a read starts empty
  ReleaseObject(handle);
}

// ---- Values ------------------------------------------------------------------

TEST_F(AutomationBridge, AssignValueStoresAOneDimensionalByteArray) {
  AutomationValue value;
  const ByteBuffer content = {0x00, 0x7f, 0x80, 0xff};
  ASSERT_TRUE(AssignValue(value, &content));
  const VARIANT& variant = value.impl().variant;
  ASSERT_EQ(V_VT(&variant), VT_ARRAY | VT_UI1);
  EXPECT_EQ(SafeArrayGetDim(V_ARRAY(&variant)), 1u);
  LONG lower = -1;
  LONG upper = -1;
  SafeArrayGetLBound(V_ARRAY(&variant), 1, &lower);
  SafeArrayGetUBound(V_ARRAY(&variant), 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 3);
  EXPECT_EQ(ValueToBytes(value), content);

  // A second assignment replaces the first; a copy of the value reads the same.
  const ByteBuffer shorter = {0x41};
  ASSERT_TRUE(AssignValue(value, &shorter));
  EXPECT_EQ(ValueToBytes(value), shorter);
  AutomationValue copy = ValueHolding(value.impl().variant);
  EXPECT_EQ(ValueToBytes(copy), shorter);

  EXPECT_TRUE(AssignValue(value, nullptr));
  EXPECT_EQ(V_VT(&value.impl().variant), VT_EMPTY);
}

TEST_F(AutomationBridge, AssignValueRefusesAnEmptyBufferAndLeavesTheValueAlone) {
  AutomationValue declared;
  const ByteBuffer empty;
  EXPECT_FALSE(AssignValue(declared, &empty));
  EXPECT_EQ(V_VT(&declared.impl().variant), VT_I4);
  EXPECT_EQ(V_I4(&declared.impl().variant), 0);

  AutomationValue filled;
  const ByteBuffer content = {1, 2, 3};
  ASSERT_TRUE(AssignValue(filled, &content));
  EXPECT_FALSE(AssignValue(filled, &empty));
  EXPECT_EQ(ValueToBytes(filled), content);
}

TEST_F(AutomationBridge, ValueToBytesReadsArraysCoercesOthersAndNeverChangesTheValue) {
  auto arrayValue = [](VARTYPE elementType, std::vector<SAFEARRAYBOUND> bounds,
                       const ByteBuffer& bytes) {
    Variant variant;
    SAFEARRAY* array =
        SafeArrayCreate(elementType, static_cast<UINT>(bounds.size()), bounds.data());
    if (!bytes.empty()) {
      const SafeArrayData data(array);
      std::memcpy(data.Get(), bytes.data(), bytes.size());
    }
    V_VT(variant.Get()) = VT_ARRAY | elementType;
    V_ARRAY(variant.Get()) = array;
    return ValueHolding(*variant);
  };

  AutomationValue empty = ValueHolding(Variant().Detach());
  EXPECT_TRUE(ValueToBytes(empty).empty());

  AutomationValue noElements = arrayValue(VT_UI1, {{0, 0}}, {});
  EXPECT_TRUE(ValueToBytes(noElements).empty());

  AutomationValue signedBytes = arrayValue(VT_I1, {{3, 5}}, {0xfe, 0x01, 0x80});
  EXPECT_EQ(ValueToBytes(signedBytes), (ByteBuffer{0xfe, 0x01, 0x80}));

  // Two dimensions of 2 and 3 elements: six bytes in storage order.
  AutomationValue twoDimensions = arrayValue(VT_UI1, {{2, 0}, {3, 1}}, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(ValueToBytes(twoDimensions), (ByteBuffer{1, 2, 3, 4, 5, 6}));

  // A declared integer cannot become a byte array.
  AutomationValue declared;
  EXPECT_TRUE(ValueToBytes(declared).empty());
  EXPECT_EQ(V_VT(&declared.impl().variant), VT_I4);

  // A string is coerced through a copy; the value keeps its string.
  Variant text;
  V_VT(text.Get()) = VT_BSTR;
  V_BSTR(text.Get()) = SysAllocString(L"AB");
  AutomationValue textValue = ValueHolding(*text);
  const ByteBuffer coerced = ValueToBytes(textValue);
  EXPECT_FALSE(coerced.empty());
  EXPECT_EQ(V_VT(&textValue.impl().variant), VT_BSTR);
  EXPECT_EQ(BstrToAnsi(V_BSTR(&textValue.impl().variant)), "AB");
}

// ---- The recording object and the real request object -----------------------

TEST_F(AutomationBridge, RecordingObjectAnswersReadsFromItsCannedResponse) {
  auto log = std::make_shared<testing::CallLog>();
  testing::FakeResponse response;
  response.body = {0x3c, 0x68, 0x00, 0xff};
  response.headers = "HTTP/1.1 200 OK\r\nDate: Fri, 11 Dec 2026 11:46:43 GMT\r\nX-名: 值\r\n";
  response.status = 204;
  AutomationObject handle = testing::MakeRecordingObject(log, response);

  AutomationValue body;
  const ByteBuffer sent = {0x01, 0xab};
  ASSERT_TRUE(AssignValue(body, &sent));
  CallMethod(handle, "Send", {arg::Value(body)});
  ClearValue(body);

  AutomationValue received = ReadValue(handle, "ResponseBody");
  EXPECT_EQ(ValueToBytes(received), response.body);
  ClearValue(received);
  EXPECT_EQ(ReadText(handle, "GetAllResponseHeaders"), response.headers);
  EXPECT_EQ(ReadNumber(handle, "Status"), 204);
  EXPECT_EQ(ReadText(handle, "Status"), "204");

  CallMethod(handle, "Abort");  // unknown: refused before anything is logged
  EXPECT_EQ(handle.lastResult, kDISP_E_UNKNOWNNAME);
  EXPECT_EQ(*log, (testing::CallLog{
                      "Send(bytes:01ab)",
                      "get ResponseBody()",
                      "get GetAllResponseHeaders()",
                      "get Status()",
                      "get Status()",
                  }));
  ReleaseObject(handle);
}

TEST_F(AutomationBridge, RealRequestObjectTakesMemberCallsWithoutNetwork) {
  AutomationObject handle;
  ASSERT_TRUE(CreateObject(handle, AnsiText(kRequestProgId)));

  CallMethod(handle, "SetTimeouts",
             {arg::Int32(15000), arg::Int32(15000), arg::Int32(15000), arg::Int32(15000)});
  EXPECT_EQ(handle.lastResult, S_OK);
  AnsiText method = "HEAD";
  CallMethod(handle, "Open",
             {arg::TextVariable(method), arg::Text("http://127.0.0.1:9/"), arg::Logical(false)});
  EXPECT_EQ(handle.lastResult, S_OK);
  EXPECT_EQ(method, "HEAD");
  CallMethod(handle, "SetRequestHeader", {arg::Text("Accept"), arg::Text("*/*")});
  EXPECT_EQ(handle.lastResult, S_OK);

  // Nothing was sent, so there is no status to read.
  EXPECT_EQ(ReadNumber(handle, "Status"), 0);
  EXPECT_TRUE(FAILED(handle.lastResult));
  CallMethod(handle, "NoSuchMember");
  EXPECT_EQ(handle.lastResult, kDISP_E_UNKNOWNNAME);

  ReleaseObject(handle);
  EXPECT_FALSE(handle.object);
  EXPECT_EQ(handle.lastResult, 0);
}

}  // namespace
}  // namespace tavrel
