// The bridge on Linux: creation through the factory registry, the member
// call steps and their failure codes, argument forms and by-reference
// write-back, result conversions and values.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/automation.h"
#include "runtime/automation_posix.h"
#include "runtime/com_library.h"
#include "runtime/com_library_posix.h"

namespace tavrel {
namespace {

struct Call {
  std::string member;
  std::uint16_t kind = 0;
  std::vector<Variant> args;
};

// What a probe saw, shared with the test; outlives the probe.
struct ProbeLog {
  std::vector<Call> calls;
  bool destroyed = false;
};

struct ProbeMember {
  Variant answer = variant::Empty();
  std::int32_t code = kS_OK;
  // Lets a member change its by-reference arguments.
  std::function<void(std::span<Variant>)> touch;
};

struct ProbeSetup {
  std::map<std::string, ProbeMember> members;
  std::vector<MemberDescription> typeInfo;
  bool hasTypeInfo = false;
  std::int32_t queryCode = kS_OK;
  std::int32_t runCode = kS_OK;
};

class Probe final : public DispatchObject {
 public:
  Probe(ProbeSetup setup, std::shared_ptr<ProbeLog> log)
      : setup_(std::move(setup)), log_(std::move(log)) {
    for (const auto& [name, member] : setup_.members) names_.push_back(name);
  }
  ~Probe() override { log_->destroyed = true; }

  std::int32_t QueryDispatch() override { return setup_.queryCode; }
  std::int32_t Run() override { return setup_.runCode; }
  std::int32_t GetIDsOfNames(const AnsiText& name, std::int32_t& id) override {
    for (size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) {
        id = static_cast<std::int32_t>(i) + 1;
        return kS_OK;
      }
    }
    return kDISP_E_UNKNOWNNAME;
  }
  const std::vector<MemberDescription>* TypeInfo() const override {
    return setup_.hasTypeInfo ? &setup_.typeInfo : nullptr;
  }
  std::int32_t Invoke(std::int32_t id, std::uint16_t callKind, std::span<Variant> args,
                      Variant* result) override {
    const std::string& name = names_.at(static_cast<size_t>(id) - 1);
    const ProbeMember& member = setup_.members.at(name);
    if (member.touch) member.touch(args);
    log_->calls.push_back({name, callKind, std::vector<Variant>(args.begin(), args.end())});
    if (result != nullptr) *result = member.answer;  // also on failure: the bridge must drop it
    return member.code;
  }

 private:
  ProbeSetup setup_;
  std::shared_ptr<ProbeLog> log_;
  std::vector<std::string> names_;
};

Variant Typed(std::uint16_t vt, std::int64_t integer = 0, double real = 0) {
  Variant v = variant::Empty();
  v.vt = vt;
  v.integer = integer;
  v.real = real;
  return v;
}

// A handle to a probe of no interest, to pass as an argument.
AutomationObject MakeObjectHandle() {
  AutomationObject handle;
  handle.object = MakeObject<Probe>(ProbeSetup{}, std::make_shared<ProbeLog>());
  return handle;
}

// Each test registers its probe class under a ProgID and a class id, and
// holds a component library scope as real callers do.
class BridgeTest : public ::testing::Test {
 protected:
  static constexpr const char* kProgId = "Tavrel.Probe.1";
  static constexpr const char* kClassId = "{11111111-2222-3333-4444-555555555555}";

  void Register(ProbeSetup setup) {
    RegisterObjectFactory(kProgId, kClassId,
                          [this, setup](std::uint32_t context, ObjectRef& object) {
                            contexts_.push_back(context);
                            object = MakeObject<Probe>(setup, log_);
                            return kS_OK;
                          });
  }
  void TearDown() override { UnregisterObjectFactory(kProgId); }

  AutomationObject Created(ProbeSetup setup) {
    Register(std::move(setup));
    AutomationObject handle;
    EXPECT_TRUE(CreateObject(handle, AnsiText(kProgId)));
    return handle;
  }

  ComScope scope_;
  std::shared_ptr<ProbeLog> log_ = std::make_shared<ProbeLog>();
  std::vector<std::uint32_t> contexts_;
};

// --- creation ---

TEST_F(BridgeTest, CreateObjectByProgIdAnyCaseAndByClassId) {
  Register({});
  for (const char* identifier : {"Tavrel.Probe.1", "TAVREL.probe.1", kClassId,
                                 "{11111111-2222-3333-4444-555555555555}"}) {
    AutomationObject handle;
    EXPECT_TRUE(CreateObject(handle, AnsiText(identifier))) << identifier;
    EXPECT_TRUE(handle.object);
    EXPECT_EQ(handle.lastResult, kS_OK);
    ReleaseObject(handle);
  }
  EXPECT_EQ(contexts_.front(), kCLSCTX_ALL);
}

TEST_F(BridgeTest, CreateObjectFailureRows) {
  struct Row {
    std::optional<AnsiText> identifier;
    std::int32_t lastResult;
  };
  const Row rows[] = {
      {std::nullopt, 0},
      {AnsiText("No.Such.Thing"), kCO_E_CLASSSTRING},
      {AnsiText(""), kCO_E_CLASSSTRING},
      {AnsiText("{11111111-2222-3333-4444-55555555555}"), kCO_E_CLASSSTRING},  // one digit short
      {AnsiText("{00000000-0000-0000-0000-000000000001}"), kREGDB_E_CLASSNOTREG},
  };
  for (const Row& row : rows) {
    AutomationObject handle;
    handle.lastResult = 12345;
    EXPECT_FALSE(CreateObject(handle, row.identifier)) << row.identifier.value_or("(absent)");
    EXPECT_EQ(handle.lastResult, row.lastResult) << row.identifier.value_or("(absent)");
    EXPECT_FALSE(handle.object);
  }
}

TEST_F(BridgeTest, CreateObjectRetriesOnceWithoutRemoteServersAfterInvalidArgument) {
  RegisterObjectFactory(kProgId, "", [this](std::uint32_t context, ObjectRef& object) {
    contexts_.push_back(context);
    if (context == kCLSCTX_ALL) return kE_INVALIDARG;
    object = MakeObject<Probe>(ProbeSetup{}, log_);
    return kS_OK;
  });
  AutomationObject handle;
  EXPECT_TRUE(CreateObject(handle, AnsiText(kProgId)));
  EXPECT_EQ(contexts_, (std::vector<std::uint32_t>{kCLSCTX_ALL, kCLSCTX_SERVER_NO_REMOTE}));
  ReleaseObject(handle);

  // A refusal other than E_INVALIDARG is final.
  contexts_.clear();
  RegisterObjectFactory(kProgId, "", [this](std::uint32_t context, ObjectRef&) {
    contexts_.push_back(context);
    return kE_OUTOFMEMORY;
  });
  EXPECT_FALSE(CreateObject(handle, AnsiText(kProgId)));
  EXPECT_EQ(handle.lastResult, kE_OUTOFMEMORY);
  EXPECT_EQ(contexts_.size(), 1u);
}

TEST_F(BridgeTest, FailedRunReleasesTheNewObject) {
  ProbeSetup setup;
  setup.runCode = kE_FAIL;
  Register(setup);
  AutomationObject handle;
  EXPECT_FALSE(CreateObject(handle, AnsiText(kProgId)));
  EXPECT_EQ(handle.lastResult, kE_FAIL);
  EXPECT_FALSE(handle.object);
  EXPECT_TRUE(log_->destroyed);
}

TEST_F(BridgeTest, CreateObjectLetsTheOldObjectGoEvenWhenTheNewOneFails) {
  AutomationObject handle = Created({});
  ASSERT_TRUE(handle.object);
  EXPECT_FALSE(CreateObject(handle, AnsiText("No.Such.Thing")));
  EXPECT_FALSE(handle.object);
  EXPECT_TRUE(log_->destroyed);
}

TEST_F(BridgeTest, CreateObjectNeedsTheLibraryOnThisThread) {
  Register({});
  std::int32_t code = 0;
  bool created = true;
  std::thread worker([&] {
    AutomationObject handle;
    created = CreateObject(handle, AnsiText(kProgId));
    code = handle.lastResult;
  });
  worker.join();
  EXPECT_FALSE(created);
  EXPECT_EQ(code, kCO_E_NOTINITIALIZED);
}

TEST_F(BridgeTest, ComScopeCountsPerThread) {
  ComCounts before = ComCountsOfThisThread();
  {
    ComScope inner;
    EXPECT_EQ(ComCountsOfThisThread().initialisations, before.initialisations + 1);
    EXPECT_EQ(ComCountsOfThisThread().uninitialisations, before.uninitialisations);
  }
  EXPECT_EQ(ComCountsOfThisThread().uninitialisations, before.uninitialisations + 1);
  ComCounts other;
  std::thread worker([&] { other = ComCountsOfThisThread(); });
  worker.join();
  EXPECT_EQ(other.initialisations, 0);
  EXPECT_EQ(other.uninitialisations, 0);
}

TEST_F(BridgeTest, TheRequestObjectIsRegisteredByProgIdAndClassId) {
  for (const char* identifier : {"WinHttp.WinHttpRequest.5.1", kHttpRequestClassId}) {
    AutomationObject handle;
    EXPECT_TRUE(CreateObject(handle, AnsiText(identifier))) << identifier;
    EXPECT_EQ(handle.lastResult, kS_OK);
    ReleaseObject(handle);
  }
}

TEST_F(BridgeTest, AssignAndReleaseCountReferences) {
  AutomationObject source = Created({});
  DispatchObject* object = DispatchOf(source.object);
  source.lastResult = 7;
  AutomationObject target;
  target.lastResult = 9;
  AssignObject(target, source);
  EXPECT_EQ(target.object.Get(), source.object.Get());
  EXPECT_EQ(object->RefCount(), 2);
  EXPECT_EQ(target.lastResult, 9);
  EXPECT_EQ(source.lastResult, 7);
  ReleaseObject(source);
  EXPECT_EQ(source.lastResult, 0);
  EXPECT_FALSE(log_->destroyed);
  ReleaseObject(target);
  EXPECT_TRUE(log_->destroyed);
}

// --- member call failures ---

TEST_F(BridgeTest, EveryOperationOnAnEmptyHandleFailsWithEPointer) {
  AutomationObject empty;
  CallMethod(empty, "Anything");
  EXPECT_EQ(empty.lastResult, kE_POINTER);
  empty.lastResult = 0;
  EXPECT_FALSE(PutProperty(empty, "Anything", {arg::Int32(1)}));
  EXPECT_EQ(empty.lastResult, kE_POINTER);
  empty.lastResult = 0;
  EXPECT_EQ(ReadText(empty, "Anything"), "");
  EXPECT_EQ(empty.lastResult, kE_POINTER);
  empty.lastResult = 0;
  EXPECT_EQ(ReadNumber(empty, "Anything"), 0);
  EXPECT_EQ(empty.lastResult, kE_POINTER);
  empty.lastResult = 0;
  AutomationValue value = ReadValue(empty, "Anything");
  EXPECT_EQ(VariantOf(value).vt, VT_EMPTY);
  EXPECT_EQ(empty.lastResult, kE_POINTER);
}

TEST_F(BridgeTest, UnknownNameFailsAndGivesTheCallsReferenceBack) {
  ProbeSetup setup;
  setup.members["Known"].answer = variant::Int32(5);
  AutomationObject handle = Created(setup);
  DispatchObject* object = DispatchOf(handle.object);
  EXPECT_EQ(ReadNumber(handle, "Unknown"), 0);
  EXPECT_EQ(handle.lastResult, kDISP_E_UNKNOWNNAME);
  EXPECT_EQ(object->RefCount(), 1);
  EXPECT_TRUE(log_->calls.empty());
  EXPECT_EQ(ReadNumber(handle, "Known"), 5);
  EXPECT_EQ(object->RefCount(), 1);
}

TEST_F(BridgeTest, NoDispatchInterfaceFailsWithItsCode) {
  ProbeSetup setup;
  setup.members["Known"].answer = variant::Int32(5);
  setup.queryCode = kE_NOINTERFACE;
  AutomationObject handle = Created(setup);
  EXPECT_EQ(ReadText(handle, "Known"), "");
  EXPECT_EQ(handle.lastResult, kE_NOINTERFACE);
  EXPECT_TRUE(log_->calls.empty());
}

TEST_F(BridgeTest, FailingMemberGivesItsCodeAndEmptyResults) {
  ProbeSetup setup;
  setup.members["Broken"] = {variant::Text("ignored"), kDISP_E_TYPEMISMATCH, {}};
  AutomationObject handle = Created(setup);
  EXPECT_EQ(ReadText(handle, "Broken"), "");
  EXPECT_EQ(handle.lastResult, kDISP_E_TYPEMISMATCH);
  AutomationValue value = ReadValue(handle, "Broken");
  EXPECT_EQ(VariantOf(value).vt, VT_EMPTY);
  EXPECT_TRUE(ValueToBytes(value).empty());
  EXPECT_FALSE(PutProperty(handle, "Broken", {arg::Int32(1)}));
}

TEST_F(BridgeTest, PutPropertyIsTrueOnlyForSOk) {
  ProbeSetup setup;
  setup.members["Exact"].code = kS_OK;
  setup.members["Almost"].code = kS_FALSE;
  AutomationObject handle = Created(setup);
  EXPECT_TRUE(PutProperty(handle, "Exact", {arg::Int32(4), arg::Int32(13056)}));
  EXPECT_FALSE(PutProperty(handle, "Almost", {arg::Int32(1)}));
  EXPECT_EQ(handle.lastResult, kS_FALSE);
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_EQ(log_->calls[0].kind, DISPATCH_PROPERTYPUT);
  ASSERT_EQ(log_->calls[0].args.size(), 2u);
  EXPECT_EQ(log_->calls[0].args[0].integer, 4);
  EXPECT_EQ(log_->calls[0].args[1].integer, 13056);  // the new value comes last
}

// --- result conversions ---

TEST_F(BridgeTest, ReadTextAndReadNumberConvertEveryResultType) {
  struct Row {
    const char* label;
    Variant answer;
    AnsiText text;
    double number;
  };
  Variant nulText = variant::Text(AnsiText("ab\0cd", 5));
  Variant object = variant::Object(MakeObject<Probe>(ProbeSetup{}, std::make_shared<ProbeLog>()));
  const std::vector<Row> rows = {
      {"I4", variant::Int32(200), "200", 200},
      {"BSTR number", variant::Text("200"), "200", 0},
      {"BSTR with NUL", nulText, "ab", 0},
      {"BOOL true", variant::Logical(true), "-1", -1},
      {"BOOL false", variant::Logical(false), "0", 0},
      {"BOOL 1", Typed(VT_BOOL, 1), "1", 1},  // the 16-bit value as it stands
      {"R8", variant::Double(1.5), "1.5", 1.5},
      {"R4", Typed(VT_R4, 0, 0.25), "0.25", 0.25},
      {"I1", Typed(VT_I1, -7), "-7", -7},
      {"I2", Typed(VT_I2, -5), "-5", -5},
      {"UI1", Typed(VT_UI1, 255), "255", 255},
      {"UI2", Typed(VT_UI2, 65535), "65535", 65535},
      {"UI4", Typed(VT_UI4, 0xFFFFFFFFll), "4294967295", 4294967295.0},
      {"I8", Typed(VT_I8, 7), "7", 0},
      {"CY", Typed(VT_CY, 12345), "1.2345", 1.2345},
      {"DATE", Typed(VT_DATE, 0, 45356.5), "2024/3/5 12:00:00", 45356.5},
      {"DATE midnight", Typed(VT_DATE, 0, 45356), "2024/3/5", 45356},
      {"EMPTY", variant::Empty(), "", 0},
      {"NULL", Typed(VT_NULL), "", 0},
      {"ERROR", Typed(VT_ERROR, kE_FAIL), "", 0},
      {"DISPATCH", object, "", 0},
      {"bytes", variant::Bytes({'A', 0, 'B', 0}), "AB", 0},
  };
  for (const Row& row : rows) {
    log_ = std::make_shared<ProbeLog>();
    ProbeSetup setup;
    setup.members["Value"].answer = row.answer;
    AutomationObject handle = Created(setup);
    EXPECT_EQ(ReadText(handle, "Value"), row.text) << row.label;
    EXPECT_EQ(handle.lastResult, kS_OK) << row.label;
    EXPECT_DOUBLE_EQ(ReadNumber(handle, "Value"), row.number) << row.label;
    AutomationValue value = ReadValue(handle, "Value");
    EXPECT_EQ(VariantOf(value).vt, row.answer.vt) << row.label;
    ASSERT_EQ(log_->calls.size(), 3u);
    for (const Call& call : log_->calls) {
      EXPECT_EQ(call.kind, DISPATCH_METHOD | DISPATCH_PROPERTYGET) << row.label;
    }
    ReleaseObject(handle);
  }
}

// --- arguments ---

TEST_F(BridgeTest, ArgumentKindsTakeTheirVariantForms) {
  ProbeSetup setup;
  setup.members["Take"] = {};
  AutomationObject handle = Created(setup);
  AutomationObject other = MakeObjectHandle();
  AutomationValue value;
  ByteBuffer nine{9};
  ASSERT_TRUE(AssignValue(value, &nine));
  CallMethod(handle, "Take",
             {arg::Logical(true), arg::Int32(-2), arg::Int16(-3), arg::Byte(250), arg::Int64(1ll << 40),
              arg::Single(0.5f), arg::Double(2.25), arg::Date(45356.5), arg::SubroutineAddress(0x401000),
              arg::Text("GET"), arg::Bytes({1, 2}), arg::Object(other), arg::Value(value),
              arg::Omitted(), arg::Int32(1), arg::Omitted(), arg::Omitted()});
  ASSERT_EQ(log_->calls.size(), 1u);
  const Call& call = log_->calls[0];
  EXPECT_EQ(call.kind, DISPATCH_METHOD);
  // The omitted last argument is not passed; the ones before it are empty.
  ASSERT_EQ(call.args.size(), 16u);
  const std::uint16_t types[] = {VT_BOOL, VT_I4,   VT_I2,  VT_UI1,          VT_I8,
                                 VT_R4,   VT_R8,   VT_DATE, VT_UI4,         VT_BSTR,
                                 VT_ARRAY | VT_UI1, VT_DISPATCH, VT_ARRAY | VT_UI1, VT_EMPTY, VT_I4,
                                 VT_EMPTY};
  for (size_t i = 0; i < call.args.size(); ++i) {
    EXPECT_EQ(call.args[i].vt, types[i]) << "argument " << i;
    EXPECT_FALSE(call.args[i].byRef) << "argument " << i;
  }
  EXPECT_EQ(call.args[0].integer, -1);
  EXPECT_EQ(call.args[3].integer, 250);
  EXPECT_EQ(call.args[4].integer, 1ll << 40);
  EXPECT_EQ(call.args[8].integer, 0x401000);
  EXPECT_EQ(call.args[9].text, "GET");
  EXPECT_EQ(call.args[10].bytes, (ByteBuffer{1, 2}));
  EXPECT_EQ(call.args[11].object.Get(), other.object.Get());
  EXPECT_EQ(call.args[12].bytes, (ByteBuffer{9}));
  ReleaseObject(other);
}

TEST_F(BridgeTest, MethodWithoutArgumentsIsCalledWithNone) {
  ProbeSetup setup;
  setup.members["Send"] = {};
  AutomationObject handle = Created(setup);
  CallMethod(handle, "Send", {arg::Omitted()});
  CallMethod(handle, "Send");
  ASSERT_EQ(log_->calls.size(), 2u);
  EXPECT_TRUE(log_->calls[0].args.empty());
  EXPECT_TRUE(log_->calls[1].args.empty());
}

// A member that overwrites its first two arguments.
ProbeMember Overwriter() {
  ProbeMember member;
  member.touch = [](std::span<Variant> args) {
    for (Variant& v : args) {
      if (v.vt == VT_BSTR) v.text = "changed";
      if (v.vt == VT_I4) v.integer = 77;
      if (v.vt == VT_BOOL) v.integer = 0;
    }
  };
  return member;
}

TEST_F(BridgeTest, TextVariableForAByValueParameterIsLeftAlone) {
  ProbeSetup setup;
  setup.members["Open"] = Overwriter();
  setup.hasTypeInfo = true;
  setup.typeInfo = {{1, true, DISPATCH_METHOD, {false, false}}};
  AutomationObject handle = Created(setup);
  AnsiText method = "HEAD";
  AnsiText url = "http://host/";
  CallMethod(handle, "Open", {arg::TextVariable(method), arg::TextVariable(url)});
  ASSERT_EQ(log_->calls.size(), 1u);
  EXPECT_EQ(log_->calls[0].args[0].text, "changed");
  EXPECT_FALSE(log_->calls[0].args[0].byRef);
  EXPECT_EQ(method, "HEAD");
  EXPECT_EQ(url, "http://host/");
}

TEST_F(BridgeTest, VariablesForByReferenceParametersAreWrittenBack) {
  ProbeSetup setup;
  setup.members["Fill"] = Overwriter();
  setup.hasTypeInfo = true;
  setup.typeInfo = {{1, true, DISPATCH_METHOD, {true, true, true, false}}};
  AutomationObject handle = Created(setup);
  AnsiText text = "before";
  std::int32_t number = 1;
  std::int32_t logical = 5;  // true, but not the platform's true
  std::int32_t byValue = 3;
  CallMethod(handle, "Fill",
             {arg::TextVariable(text), arg::Int32Variable(number), arg::LogicalVariable(logical),
              arg::Int32Variable(byValue)});
  ASSERT_EQ(log_->calls.size(), 1u);
  const Call& call = log_->calls[0];
  EXPECT_TRUE(call.args[0].byRef);
  EXPECT_TRUE(call.args[1].byRef);
  EXPECT_TRUE(call.args[2].byRef);
  EXPECT_FALSE(call.args[3].byRef);
  EXPECT_EQ(text, "changed");
  EXPECT_EQ(number, 77);
  EXPECT_EQ(logical, 0);
  EXPECT_EQ(byValue, 3);
}

TEST_F(BridgeTest, ValueVariableIsAlwaysByReference) {
  ProbeSetup setup;
  setup.members["Swap"].touch = [](std::span<Variant> args) {
    bool byRef = args[0].byRef;
    args[0] = variant::Text("new");
    args[0].byRef = byRef;
  };
  AutomationObject handle = Created(setup);
  AutomationValue value;
  CallMethod(handle, "Swap", {arg::ValueVariable(value)});
  ASSERT_EQ(log_->calls.size(), 1u);
  EXPECT_TRUE(log_->calls[0].args[0].byRef);
  EXPECT_EQ(VariantOf(value).vt, VT_BSTR);
  EXPECT_EQ(VariantOf(value).text, "new");

  // Given as a value, it is a copy the member cannot reach.
  AutomationValue kept;
  CallMethod(handle, "Swap", {arg::Value(kept)});
  EXPECT_EQ(VariantOf(kept).vt, VT_I4);
}

// A parameter declared by reference reaches the caller's own handle or value
// also when they are given as values, not as variables.
TEST_F(BridgeTest, ObjectsAndValuesForByReferenceParametersAreWrittenBackAlsoWhenGivenAsValues) {
  AutomationObject replacement = MakeObjectHandle();
  ProbeSetup setup;
  setup.members["Replace"].touch = [&replacement](std::span<Variant> args) {
    for (Variant& v : args) {
      if (v.vt == VT_DISPATCH) v.object = replacement.object;
      if (v.vt == VT_I4) {
        v.vt = VT_BSTR;
        v.text = "replaced";
      }
    }
  };
  setup.hasTypeInfo = true;
  setup.typeInfo = {{1, true, DISPATCH_METHOD, {true, true}}};
  AutomationObject handle = Created(setup);

  for (bool asVariables : {false, true}) {
    SCOPED_TRACE(asVariables ? "variables" : "values");
    AutomationObject held = MakeObjectHandle();
    AutomationValue value;
    const BridgeArguments args =
        asVariables ? BridgeArguments{arg::ObjectVariable(held), arg::ValueVariable(value)}
                    : BridgeArguments{arg::Object(held), arg::Value(value)};
    CallMethod(handle, "Replace", args);
    EXPECT_EQ(handle.lastResult, kS_OK);
    ASSERT_FALSE(log_->calls.empty());
    EXPECT_TRUE(log_->calls.back().args[0].byRef);
    EXPECT_TRUE(log_->calls.back().args[1].byRef);
    EXPECT_EQ(held.object.Get(), replacement.object.Get());
    EXPECT_EQ(VariantOf(value).vt, VT_BSTR);
    EXPECT_EQ(VariantOf(value).text, "replaced");
    ReleaseObject(held);
  }
  // Every reference the calls handed out has been given back (the log keeps
  // copies of the arguments, so it goes first).
  log_->calls.clear();
  EXPECT_EQ(DispatchOf(replacement.object)->RefCount(), 1);
  ReleaseObject(replacement);
}

TEST_F(BridgeTest, TypeInformationDecidesTheCallKind) {
  ProbeSetup setup;
  setup.members["Getter"] = {};
  setup.members["Putter"] = {};
  setup.members["Field"] = {};
  setup.hasTypeInfo = true;
  // ids follow the members' order in the map: Field 1, Getter 2, Putter 3.
  setup.typeInfo = {{2, true, DISPATCH_PROPERTYGET, {}},
                    {3, true, DISPATCH_PROPERTYPUT, {false}},
                    {1, false, 0, {true}}};
  AutomationObject handle = Created(setup);
  AutomationObject other = MakeObjectHandle();
  CallMethod(handle, "Getter");
  CallMethod(handle, "Putter");
  CallMethod(handle, "Putter", {arg::Int32(1)});
  CallMethod(handle, "Field");
  PutProperty(handle, "Field", {arg::Object(other)});
  ASSERT_EQ(log_->calls.size(), 5u);
  EXPECT_EQ(log_->calls[0].kind, DISPATCH_PROPERTYGET);
  EXPECT_EQ(log_->calls[1].kind, DISPATCH_PROPERTYGET);  // a put without arguments reads
  EXPECT_EQ(log_->calls[2].kind, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(log_->calls[3].kind, DISPATCH_PROPERTYGET);  // a variable is read
  EXPECT_EQ(log_->calls[4].kind, DISPATCH_PROPERTYPUTREF);  // an object put by reference
  EXPECT_TRUE(log_->calls[4].args[0].byRef);
  ReleaseObject(other);
}

// --- values ---

TEST(AutomationValue, DeclaredValueIsTheIntegerZeroAndEmptyBuffersAreRefused) {
  AutomationValue value;
  EXPECT_EQ(VariantOf(value).vt, VT_I4);
  EXPECT_EQ(VariantOf(value).integer, 0);
  ByteBuffer none;
  EXPECT_FALSE(AssignValue(value, &none));
  EXPECT_EQ(VariantOf(value).vt, VT_I4);
  EXPECT_TRUE(ValueToBytes(value).empty());  // an integer is no byte array

  ByteBuffer bytes{0, 1, 255};
  EXPECT_TRUE(AssignValue(value, &bytes));
  EXPECT_EQ(VariantOf(value).vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(ValueToBytes(value), bytes);
  EXPECT_EQ(VariantOf(value).bytes, bytes);  // reading leaves the value as it was

  EXPECT_TRUE(AssignValue(value, nullptr));
  EXPECT_EQ(VariantOf(value).vt, VT_EMPTY);
  EXPECT_TRUE(ValueToBytes(value).empty());

  EXPECT_TRUE(AssignValue(value, &bytes));
  ClearValue(value);
  EXPECT_EQ(VariantOf(value).vt, VT_EMPTY);
}

TEST(AutomationValue, ValueToBytesOfOtherKinds) {
  EXPECT_TRUE(ValueToBytes(ValueOf(variant::Bytes({}))).empty());
  Variant signedBytes = variant::Bytes({0x80, 0x7F});
  signedBytes.vt = VT_ARRAY | VT_I1;
  EXPECT_EQ(ValueToBytes(ValueOf(signedBytes)), (ByteBuffer{0x80, 0x7F}));
  // A string converts to the bytes of its wide form.
  EXPECT_EQ(ValueToBytes(ValueOf(variant::Text("AB"))), (ByteBuffer{'A', 0, 'B', 0}));
  EXPECT_EQ(ValueToBytes(ValueOf(variant::Text("中"))), (ByteBuffer{0x2D, 0x4E}));
  EXPECT_TRUE(ValueToBytes(ValueOf(variant::Double(1))).empty());
}

TEST(AutomationValue, MovedFromValueIsStillUsable) {
  AutomationValue first = ValueOf(variant::Text("x"));
  AutomationValue second = std::move(first);
  EXPECT_EQ(VariantOf(second).text, "x");
  ClearValue(first);
  EXPECT_EQ(VariantOf(first).vt, VT_EMPTY);
}

}  // namespace
}  // namespace tavrel
