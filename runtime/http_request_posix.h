#pragma once

// Linux only: the HTTP request object the bridge registers as
// "WinHttp.WinHttpRequest.5.1", built on libcurl. It has the platform
// object's members (SetTimeouts, SetProxy, Open, Option, SetRequestHeader,
// Send, ResponseBody, GetAllResponseHeaders, GetResponseHeader, Status,
// StatusText, Abort, WaitForResponse), its defaults and its result codes:
// WinHttp error numbers as HRESULT_FROM_WIN32.
//
// GetAllResponseHeaders gives the header lines of the final response (after
// redirects), without the status line, each followed by "\r\n", and one more
// "\r\n" after the last, as the platform documents.

#include <cstdint>

#include "runtime/automation.h"

namespace tavrel {

inline constexpr std::uint32_t kERROR_WINHTTP_TIMEOUT = 12002;
inline constexpr std::uint32_t kERROR_WINHTTP_INTERNAL_ERROR = 12004;
inline constexpr std::uint32_t kERROR_WINHTTP_INVALID_URL = 12005;
inline constexpr std::uint32_t kERROR_WINHTTP_UNRECOGNIZED_SCHEME = 12006;
inline constexpr std::uint32_t kERROR_WINHTTP_NAME_NOT_RESOLVED = 12007;
inline constexpr std::uint32_t kERROR_WINHTTP_CANNOT_CONNECT = 12029;
inline constexpr std::uint32_t kERROR_WINHTTP_CONNECTION_ERROR = 12030;
inline constexpr std::uint32_t kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN = 12100;
inline constexpr std::uint32_t kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND = 12101;
inline constexpr std::uint32_t kERROR_WINHTTP_CANNOT_CALL_AFTER_SEND = 12102;
inline constexpr std::uint32_t kERROR_WINHTTP_HEADER_NOT_FOUND = 12150;
inline constexpr std::uint32_t kERROR_WINHTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr std::uint32_t kERROR_WINHTTP_INVALID_HEADER = 12153;
inline constexpr std::uint32_t kERROR_WINHTTP_REDIRECT_FAILED = 12156;
inline constexpr std::uint32_t kERROR_WINHTTP_SECURE_FAILURE = 12175;

// A new request object holding one reference.
ObjectRef CreateHttpRequestObject();

}  // namespace tavrel
