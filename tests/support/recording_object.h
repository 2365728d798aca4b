#pragma once

// A fake request object for call-order tests: every member call made through
// the bridge is written to a log as one line, and reads answer from a canned
// response. The same lines come out on Windows (a small IDispatch of the test
// code) and on Linux (an object of the bridge's own registry), so the tests
// that read them are portable.
//
// Line format, arguments in the caller's order:
//   method call     Open("HEAD", "http://host/", false)
//   property put    put Option(4, 13056)
//   property get    get Status()
// Argument forms: text in double quotes, bytes unchanged; 32-bit integers in
// decimal; logicals true/false; byte arrays bytes:<lower-case hex>; an empty
// variant empty; doubles with %g.
//
// Members known: SetTimeouts, SetProxy, Open, Option, SetRequestHeader, Send,
// ResponseBody, GetAllResponseHeaders, Status. Any other name is refused with
// DISP_E_UNKNOWNNAME before anything is logged.

#include <memory>
#include <string>
#include <vector>

#include "runtime/automation.h"

namespace tavrel::testing {

struct FakeResponse {
  ByteBuffer body;    // ResponseBody: a byte array
  AnsiText headers;   // GetAllResponseHeaders
  std::int32_t status = 200;  // Status
};

using CallLog = std::vector<std::string>;

// A handle holding a new fake object; the log is shared with the caller.
AutomationObject MakeRecordingObject(std::shared_ptr<CallLog> log, FakeResponse response = {});

}  // namespace tavrel::testing
