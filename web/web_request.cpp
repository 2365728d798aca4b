#include "web/web_request.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include "runtime/com_library.h"
#include "web/base64.h"
#include "web/cookies.h"
#include "web/header_block.h"
#include "web/text_ops.h"

namespace tavrel {
namespace {

constexpr std::array<const char*, 8> kMethods = {"GET",     "POST",   "HEAD",  "PUT",
                                                 "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr std::int32_t kPostMethod = 1;
constexpr std::int32_t kDefaultTimeoutMs = 15000;
constexpr std::int32_t kProxySettingNamed = 2;
constexpr std::int32_t kOptionCertificateErrors = 4;
constexpr std::int32_t kOptionFollowRedirects = 6;
// Unknown CA, wrong usage, invalid common name, invalid date: every
// certificate error is ignored.
constexpr std::int32_t kIgnoreAllCertificateErrors = 0x0100 | 0x0200 | 0x1000 | 0x2000;

struct DefaultHeader {
  std::string_view searchedFor;
  std::string_view line;  // the url follows the Referer line
  bool postOnly;
};
constexpr std::array<DefaultHeader, 5> kDefaultHeaders = {{
    {"Accept:", "\r\nAccept: */*", false},
    {"Referer:", "\r\nReferer: ", false},
    {"Accept-Language:", "\r\nAccept-Language: zh-cn", false},
    {"User-Agent:", "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)", false},
    {"Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded", true},
}};

std::int32_t TimeoutMs(std::int32_t timeoutSeconds) {
  if (timeoutSeconds < 1) return kDefaultTimeoutMs;
  // Seconds beyond what fits as milliseconds are held to the largest value.
  const std::int64_t ms = std::int64_t{timeoutSeconds} * 1000;
  return ms > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                       : static_cast<std::int32_t>(ms);
}

// Appends the default lines the caller's header text lacks. The searches
// ignore case and are not tied to line starts, each seeing the text as
// extended by the lines before it.
AnsiText CompleteHeaders(AnsiText headers, const AnsiText& url, std::int32_t method) {
  for (const DefaultHeader& row : kDefaultHeaders) {
    if (row.postOnly && method != kPostMethod) continue;
    if (FindText(headers, row.searchedFor, 0, true) != -1) continue;
    headers += row.line;
    if (row.searchedFor == "Referer:") headers += url;
  }
  return headers;
}

// The name-and-value part of every "Set-Cookie: " line, in order, joined by "; ".
AnsiText CollectSetCookies(const AnsiText& responseHeaders) {
  AnsiText cookies;
  for (const AnsiText& line : SplitText(responseHeaders, "\r\n")) {
    if (!TextEquals(TextBefore(line, ": "), "Set-Cookie")) continue;
    const AnsiText cookie = FindText(line, ";") != -1
                                ? TextBetween(line, "Set-Cookie:", ";")
                                : ReplaceText(line, "Set-Cookie:", "", false);
    cookies += TrimSpaces(cookie);
    cookies += "; ";
  }
  return LeftText(cookies, TextLength(cookies) - 2);
}

std::int32_t TruncateStatus(double number) {
  // Truncation toward zero; a number no status can be gives 0 rather than
  // an undefined conversion.
  if (!std::isfinite(number) || number >= 2147483648.0 || number <= -2147483649.0) return 0;
  return static_cast<std::int32_t>(number);
}

}  // namespace

ByteBuffer WebRequest(const WebRequestParams& params) {
  ByteBuffer body;
  AutomationValue bodyValue;
  {
    ComScope com;

    const std::int32_t method = params.method < 0 || params.method > 7 ? 0 : params.method;
    const AnsiText methodText = kMethods[static_cast<std::size_t>(method)];

    AutomationObject request;
    if (params.requestObject != nullptr) {
      AssignObject(request, *params.requestObject);
    } else if (!CreateObject(request, AnsiText(kRequestProgId))) {
      return body;
    }

    if (params.timeoutSeconds != -1) {
      const std::int32_t ms = TimeoutMs(params.timeoutSeconds);
      CallMethod(request, "SetTimeouts",
                 {arg::Int32(ms), arg::Int32(ms), arg::Int32(ms), arg::Int32(ms)});
    }
    if (!params.proxyServer.empty()) {
      CallMethod(request, "SetProxy", {arg::Int32(kProxySettingNamed), arg::Text(params.proxyServer)});
    }
    CallMethod(request, "Open", {arg::Text(methodText), arg::Text(params.url), arg::Logical(false)});
    if (params.noRedirect) {
      PutProperty(request, "Option", {arg::Int32(kOptionFollowRedirects), arg::Int32(0)});
    }
    PutProperty(request, "Option",
                {arg::Int32(kOptionCertificateErrors), arg::Int32(kIgnoreAllCertificateErrors)});

    AnsiText headers = params.requestHeaders;
    if (params.completeHeaders) headers = CompleteHeaders(std::move(headers), params.url, method);
    headers = NormalizeHeaderBlock(headers);

    if (!params.proxyServer.empty() && !params.proxyUser.empty() && params.proxyAuthKind == 1) {
      const AnsiText credentials = JoinTexts({params.proxyUser, ":", params.proxyPassword});
      const ByteBuffer bytes(credentials.begin(), credentials.end());
      CallMethod(request, "SetRequestHeader",
                 {arg::Text("Proxy-Authorization"), arg::Text("Basic " + Base64Encode(bytes))});
    }
    if (params.cookies) {
      CallMethod(request, "SetRequestHeader", {arg::Text("Cookie"), arg::Text(*params.cookies)});
    }
    for (HeaderPair& pair : HeaderPairs(headers)) {
      CallMethod(request, "SetRequestHeader",
                 {arg::Text(std::move(pair.name)), arg::Text(std::move(pair.value))});
    }

    if (params.bodyBytes.empty()) {
      CallMethod(request, "Send", {arg::Text(params.bodyText)});
    } else {
      AssignValue(bodyValue, &params.bodyBytes);
      CallMethod(request, "Send", {arg::Value(bodyValue)});
    }

    {
      AutomationValue response = ReadValue(request, "ResponseBody");
      body = ValueToBytes(response);
      ClearValue(response);
    }
    const AnsiText responseHeaders = ReadText(request, "GetAllResponseHeaders");
    const std::int32_t status = TruncateStatus(ReadNumber(request, "Status"));

    AnsiText returnedCookies = CollectSetCookies(responseHeaders);
    if (params.mergeCookies && params.cookies) {
      AnsiText sentCookies = *params.cookies;
      returnedCookies = MergeCookies(sentCookies, returnedCookies);
    }

    if (params.responseHeaders != nullptr) *params.responseHeaders = responseHeaders;
    if (params.statusCode != nullptr) *params.statusCode = status;
    if (params.returnedCookies != nullptr) *params.returnedCookies = std::move(returnedCookies);

    ReleaseObject(request);
  }  // the component library is uninitialised here, after the object has gone
  ClearValue(bodyValue);
  return body;
}

}  // namespace tavrel
