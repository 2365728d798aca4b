#pragma once

// One complete HTTP exchange through the platform's automation request object
// "WinHttp.WinHttpRequest.5.1": defaults, header completion and normalisation,
// proxy credentials, cookies, sending, and the response body, headers, status
// and returned cookies. Failures never raise: they show in the outputs.

#include <cstdint>
#include <optional>

#include "runtime/automation.h"
#include "runtime/values.h"

namespace tavrel {

inline constexpr const char* kRequestProgId = "WinHttp.WinHttpRequest.5.1";

// The eighteen parameters, in order, with their defaults. Outputs are places
// the caller may leave null; cookies and requestObject tell omission apart
// from every supplied value.
struct WebRequestParams {
  AnsiText url{};
  std::int32_t method = 0;  // index into GET, POST, HEAD, PUT, OPTIONS, DELETE, TRACE, CONNECT
  AnsiText bodyText{};
  std::optional<AnsiText> cookies{};
  AnsiText* returnedCookies = nullptr;
  AnsiText requestHeaders{};
  AnsiText* responseHeaders = nullptr;
  std::int32_t* statusCode = nullptr;
  bool noRedirect = false;
  ByteBuffer bodyBytes{};
  AnsiText proxyServer{};
  std::int32_t timeoutSeconds = 0;  // -1 leaves the object's time-outs alone; below 1 means 15 s
  AnsiText proxyUser{};
  AnsiText proxyPassword{};
  std::int32_t proxyAuthKind = 1;  // 1 sends Basic proxy credentials
  AutomationObject* requestObject = nullptr;
  bool mergeCookies = true;
  bool completeHeaders = true;
};

// Returns the response body; empty for HEAD, an empty body or a failure.
ByteBuffer WebRequest(const WebRequestParams& params);

}  // namespace tavrel
