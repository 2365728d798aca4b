// The HTTP request object on libcurl. Every exchange runs synchronously
// inside Send through a multi handle, so that each time-out can be watched
// in its own phase: resolve and connect by libcurl, sending and receiving
// here, each measured from the last byte that moved.

#include "runtime/http_request_posix.h"

#include <curl/curl.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/automation_posix.h"
#include "runtime/codepage.h"

namespace tavrel {

namespace {

// Milliseconds of the monotonic clock (<chrono> does not build with the
// GBK execution character set).
long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

constexpr std::int32_t Win32Error(std::uint32_t code) { return HresultFromWin32(code); }

// Member ids, as the platform's type library numbers them.
enum MemberId : std::int32_t {
  kOpen = 1,
  kSetRequestHeader = 2,
  kGetResponseHeader = 3,
  kGetAllResponseHeaders = 4,
  kSend = 5,
  kOption = 6,
  kStatus = 7,
  kStatusText = 8,
  kResponseBody = 10,
  kAbort = 12,
  kSetProxy = 13,
  kWaitForResponse = 15,
  kSetTimeouts = 16,
};

struct MemberName {
  const char* name;
  MemberId id;
};

constexpr MemberName kMembers[] = {
    {"Open", kOpen},
    {"SetRequestHeader", kSetRequestHeader},
    {"GetResponseHeader", kGetResponseHeader},
    {"GetAllResponseHeaders", kGetAllResponseHeaders},
    {"Send", kSend},
    {"Option", kOption},
    {"Status", kStatus},
    {"StatusText", kStatusText},
    {"ResponseBody", kResponseBody},
    {"Abort", kAbort},
    {"SetProxy", kSetProxy},
    {"WaitForResponse", kWaitForResponse},
    {"SetTimeouts", kSetTimeouts},
};

// Option indexes.
constexpr std::int32_t kOptionUserAgentString = 0;
constexpr std::int32_t kOptionUrl = 1;
constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;
constexpr std::int32_t kOptionEnableRedirects = 6;

// Certificate error flags of option 4.
constexpr std::int32_t kSslUnknownCa = 0x0100;
constexpr std::int32_t kSslWrongUsage = 0x0200;
constexpr std::int32_t kSslCertCnInvalid = 0x1000;
constexpr std::int32_t kSslCertDateInvalid = 0x2000;
constexpr std::int32_t kSslAllFlags = kSslUnknownCa | kSslWrongUsage | kSslCertCnInvalid |
                                      kSslCertDateInvalid;

constexpr const char* kDefaultUserAgent =
    "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const std::vector<MemberDescription>& Descriptions() {
  static const std::vector<MemberDescription> descriptions = [] {
    auto function = [](std::int32_t id, std::uint16_t kind, size_t params) {
      return MemberDescription{id, true, kind, std::vector<bool>(params, false)};
    };
    return std::vector<MemberDescription>{
        function(kSetProxy, DISPATCH_METHOD, 3),
        function(kOpen, DISPATCH_METHOD, 3),
        function(kSetRequestHeader, DISPATCH_METHOD, 2),
        function(kGetResponseHeader, DISPATCH_METHOD, 1),
        function(kGetAllResponseHeaders, DISPATCH_METHOD, 0),
        function(kSend, DISPATCH_METHOD, 1),
        function(kStatus, DISPATCH_PROPERTYGET, 0),
        function(kStatusText, DISPATCH_PROPERTYGET, 0),
        function(kResponseBody, DISPATCH_PROPERTYGET, 0),
        function(kOption, DISPATCH_PROPERTYGET, 1),
        function(kOption, DISPATCH_PROPERTYPUT, 2),
        function(kWaitForResponse, DISPATCH_METHOD, 1),
        function(kAbort, DISPATCH_METHOD, 0),
        function(kSetTimeouts, DISPATCH_METHOD, 4),
    };
  }();
  return descriptions;
}

bool IsAbsent(const Variant& v) { return v.vt == VT_EMPTY || v.vt == VT_ERROR; }

std::int32_t ToLogical(const Variant& v, bool& out) {
  std::int32_t number = 0;
  std::int32_t hr = ChangeTypeToInt32(v, number);
  if (hr >= 0) out = number != 0;
  return hr;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::int32_t CodeOfCurlResult(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return kS_OK;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Win32Error(kERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    case CURLE_URL_MALFORMAT:
      return Win32Error(kERROR_WINHTTP_INVALID_URL);
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
      return Win32Error(kERROR_WINHTTP_NAME_NOT_RESOLVED);
    case CURLE_COULDNT_CONNECT:
      return Win32Error(kERROR_WINHTTP_CANNOT_CONNECT);
    case CURLE_OPERATION_TIMEDOUT:
      return Win32Error(kERROR_WINHTTP_TIMEOUT);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return Win32Error(kERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    case CURLE_TOO_MANY_REDIRECTS:
      return Win32Error(kERROR_WINHTTP_REDIRECT_FAILED);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return Win32Error(kERROR_WINHTTP_SECURE_FAILURE);
    case CURLE_OUT_OF_MEMORY:
      return kE_OUTOFMEMORY;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
      return Win32Error(kERROR_WINHTTP_CONNECTION_ERROR);
    default:
      return Win32Error(kERROR_WINHTTP_INTERNAL_ERROR);
  }
}

// A time-out in milliseconds; 0 and -1 mean none.
bool Finite(std::int32_t ms) { return ms > 0; }

class HttpRequest final : public DispatchObject {
 public:
  HttpRequest() { GlobalInit(); }

  std::int32_t GetIDsOfNames(const AnsiText& name, std::int32_t& id) override {
    for (const MemberName& member : kMembers) {
      if (EqualsIgnoringCase(name, member.name)) {
        id = member.id;
        return kS_OK;
      }
    }
    return kDISP_E_UNKNOWNNAME;
  }

  const std::vector<MemberDescription>* TypeInfo() const override { return &Descriptions(); }

  std::int32_t Invoke(std::int32_t id, std::uint16_t callKind, std::span<Variant> args,
                      Variant* result) override {
    const bool get = (callKind & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0;
    const bool put = (callKind & DISPATCH_PROPERTYPUT) != 0;
    Variant scratch;
    Variant& out = result != nullptr ? *result : scratch;
    switch (id) {
      case kOpen:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() < 2 || args.size() > 3) return kDISP_E_BADPARAMCOUNT;
        return Open(args);
      case kSetRequestHeader:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() != 2) return kDISP_E_BADPARAMCOUNT;
        return SetRequestHeader(args[0], args[1]);
      case kGetResponseHeader:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() != 1) return kDISP_E_BADPARAMCOUNT;
        return GetResponseHeader(args[0], out);
      case kGetAllResponseHeaders:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (!args.empty()) return kDISP_E_BADPARAMCOUNT;
        return GetAllResponseHeaders(out);
      case kSend:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() > 1) return kDISP_E_BADPARAMCOUNT;
        return Send(args.empty() ? variant::Empty() : args[0]);
      case kOption:
        if (put) {
          if (args.size() != 2) return kDISP_E_BADPARAMCOUNT;
          return PutOption(args[0], args[1]);
        }
        if (args.size() != 1) return kDISP_E_BADPARAMCOUNT;
        return GetOption(args[0], out);
      case kStatus:
      case kStatusText:
      case kResponseBody:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (!args.empty()) return kDISP_E_BADPARAMCOUNT;
        return ReadResponse(static_cast<MemberId>(id), out);
      case kAbort:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        return kS_OK;  // exchanges are synchronous: nothing is ever in flight
      case kWaitForResponse:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() > 1) return kDISP_E_BADPARAMCOUNT;
        out = variant::Logical(true);
        return kS_OK;
      case kSetProxy:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.empty() || args.size() > 3) return kDISP_E_BADPARAMCOUNT;
        return SetProxy(args);
      case kSetTimeouts:
        if (!get) return kDISP_E_MEMBERNOTFOUND;
        if (args.size() != 4) return kDISP_E_BADPARAMCOUNT;
        return SetTimeouts(args);
      default:
        return kDISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  enum class State { kCreated, kOpen, kSent };

  struct Response {
    std::int32_t status = 0;
    std::string statusText;
    std::vector<std::string> headerLines;  // without the status line and line ends
    ByteBuffer body;
    std::string finalUrl;
  };

  std::int32_t Open(std::span<Variant> args) {
    AnsiText method, url;
    std::int32_t hr = ChangeTypeToText(args[0], method);
    if (hr < 0) return hr;
    hr = ChangeTypeToText(args[1], url);
    if (hr < 0) return hr;
    bool async = false;
    if (args.size() > 2 && !IsAbsent(args[2])) {
      hr = ToLogical(args[2], async);
      if (hr < 0) return hr;
    }
    // Opening drops the previous request and response, also when it fails.
    state_ = State::kCreated;
    response_ = Response{};
    headers_.clear();
    hr = CheckUrl(url);
    if (hr < 0) return hr;
    method_ = method.empty() ? "GET" : method;
    url_ = url;
    state_ = State::kOpen;  // an asynchronous open is served synchronously too
    return kS_OK;
  }

  // The URL must be absolute http or https, as the platform's URL cracker
  // requires.
  static std::int32_t CheckUrl(const AnsiText& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos) return Win32Error(kERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    std::string scheme = url.substr(0, colon);
    if (!EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) {
      return Win32Error(kERROR_WINHTTP_UNRECOGNIZED_SCHEME);
    }
    if (url.find_first_of(" \r\n\t", 0) != std::string::npos) {
      return Win32Error(kERROR_WINHTTP_INVALID_URL);
    }
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    if (!parsed) return kE_OUTOFMEMORY;
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
      return Win32Error(kERROR_WINHTTP_INVALID_URL);
    }
    char* host = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr ||
        *host == '\0') {
      curl_free(host);
      return Win32Error(kERROR_WINHTTP_INVALID_URL);
    }
    curl_free(host);
    return kS_OK;
  }

  std::int32_t SetRequestHeader(const Variant& nameArg, const Variant& valueArg) {
    AnsiText name, value;
    std::int32_t hr = ChangeTypeToText(nameArg, name);
    if (hr < 0) return hr;
    hr = ChangeTypeToText(valueArg, value);
    if (hr < 0) return hr;
    if (state_ == State::kCreated) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN);
    if (state_ == State::kSent) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_AFTER_SEND);
    if (name.empty()) return kE_INVALIDARG;
    // A header line cannot smuggle further lines in through its name or value.
    if (name.find_first_of(":\r\n", 0) != std::string::npos ||
        value.find_first_of("\r\n", 0) != std::string::npos) {
      return Win32Error(kERROR_WINHTTP_INVALID_HEADER);
    }
    auto same = [&](const std::pair<std::string, std::string>& h) {
      return EqualsIgnoringCase(h.first, name);
    };
    auto existing = std::find_if(headers_.begin(), headers_.end(), same);
    if (value.empty()) {
      // An empty value removes the header, as replacing with nothing does.
      if (existing != headers_.end()) headers_.erase(existing);
    } else if (existing != headers_.end()) {
      existing->second = value;
    } else {
      headers_.emplace_back(name, value);
    }
    return kS_OK;
  }

  std::int32_t SetProxy(std::span<Variant> args) {
    std::int32_t setting = 0;
    std::int32_t hr = ChangeTypeToInt32(args[0], setting);
    if (hr < 0) return hr;
    AnsiText server, bypass;
    if (args.size() > 1 && !IsAbsent(args[1]) && (hr = ChangeTypeToText(args[1], server)) < 0) {
      return hr;
    }
    if (args.size() > 2 && !IsAbsent(args[2]) && (hr = ChangeTypeToText(args[2], bypass)) < 0) {
      return hr;
    }
    switch (setting) {
      case 0:  // default: the configured settings, which here means none
      case 1:  // direct
        proxy_.clear();
        proxyBypass_.clear();
        return kS_OK;
      case 2:
        if (server.empty()) return kE_INVALIDARG;
        proxy_ = server;
        proxyBypass_ = bypass;
        std::replace(proxyBypass_.begin(), proxyBypass_.end(), ';', ',');
        return kS_OK;
      default:
        return kE_INVALIDARG;
    }
  }

  std::int32_t SetTimeouts(std::span<Variant> args) {
    std::int32_t values[4];
    for (int i = 0; i < 4; ++i) {
      std::int32_t hr = ChangeTypeToInt32(args[i], values[i]);
      if (hr < 0) return hr;
      if (values[i] < -1) return kE_INVALIDARG;
    }
    resolveTimeout_ = values[0];
    connectTimeout_ = values[1];
    sendTimeout_ = values[2];
    receiveTimeout_ = values[3];
    return kS_OK;
  }

  std::int32_t GetOption(const Variant& indexArg, Variant& out) {
    std::int32_t index = 0;
    std::int32_t hr = ChangeTypeToInt32(indexArg, index);
    if (hr < 0) return hr;
    switch (index) {
      case kOptionUserAgentString:
        out = variant::Text(userAgent_);
        return kS_OK;
      case kOptionUrl:
        out = variant::Text(response_.finalUrl.empty() ? url_ : response_.finalUrl);
        return kS_OK;
      case kOptionSslErrorIgnoreFlags:
        out = variant::Int32(sslIgnoreFlags_);
        return kS_OK;
      case kOptionEnableRedirects:
        out = variant::Logical(followRedirects_);
        return kS_OK;
      default:
        return kE_INVALIDARG;
    }
  }

  std::int32_t PutOption(const Variant& indexArg, const Variant& value) {
    std::int32_t index = 0;
    std::int32_t hr = ChangeTypeToInt32(indexArg, index);
    if (hr < 0) return hr;
    switch (index) {
      case kOptionUserAgentString: {
        AnsiText agent;
        if ((hr = ChangeTypeToText(value, agent)) < 0) return hr;
        if (agent.find_first_of("\r\n", 0) != std::string::npos) return kE_INVALIDARG;
        userAgent_ = agent;
        return kS_OK;
      }
      case kOptionSslErrorIgnoreFlags: {
        std::int32_t flags = 0;
        if ((hr = ChangeTypeToInt32(value, flags)) < 0) return hr;
        if ((flags & ~kSslAllFlags) != 0) return kE_INVALIDARG;
        sslIgnoreFlags_ = flags;
        return kS_OK;
      }
      case kOptionEnableRedirects: {
        bool follow = true;
        if ((hr = ToLogical(value, follow)) < 0) return hr;
        followRedirects_ = follow;
        return kS_OK;
      }
      default:
        return kE_INVALIDARG;
    }
  }

  std::int32_t ReadResponse(MemberId id, Variant& out) {
    if (state_ != State::kSent) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND);
    switch (id) {
      case kStatus:
        out = variant::Int32(response_.status);
        break;
      case kStatusText:
        out = variant::Text(response_.statusText);
        break;
      default:
        out = variant::Bytes(response_.body);
        break;
    }
    return kS_OK;
  }

  std::int32_t GetAllResponseHeaders(Variant& out) {
    if (state_ != State::kSent) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND);
    std::string text;
    for (const std::string& line : response_.headerLines) text += line + "\r\n";
    text += "\r\n";
    out = variant::Text(std::move(text));
    return kS_OK;
  }

  std::int32_t GetResponseHeader(const Variant& nameArg, Variant& out) {
    AnsiText name;
    std::int32_t hr = ChangeTypeToText(nameArg, name);
    if (hr < 0) return hr;
    if (state_ != State::kSent) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND);
    for (const std::string& line : response_.headerLines) {
      size_t colon = line.find(':');
      if (colon == std::string::npos || !EqualsIgnoringCase(line.substr(0, colon), name)) continue;
      size_t start = line.find_first_not_of(" \t", colon + 1);
      out = variant::Text(start == std::string::npos ? std::string() : line.substr(start));
      return kS_OK;
    }
    return Win32Error(kERROR_WINHTTP_HEADER_NOT_FOUND);
  }

  // --- the exchange ---

  struct Transfer {
    Response response;
    bool requestStarted = false;
    bool receiving = false;
    curl_off_t bodySize = 0;
    curl_off_t uploaded = -1;
    long long lastActivity = 0;
  };

  static size_t OnHeader(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    size_t length = size * count;
    transfer->lastActivity = NowMs();
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
      // A new response begins (after an interim answer or a redirect).
      transfer->response.headerLines.clear();
      transfer->response.body.clear();
      size_t firstSpace = line.find(' ');
      size_t secondSpace = firstSpace == std::string::npos ? firstSpace : line.find(' ', firstSpace + 1);
      transfer->response.statusText =
          secondSpace == std::string::npos ? std::string() : line.substr(secondSpace + 1);
    } else if (!line.empty()) {
      transfer->response.headerLines.push_back(std::move(line));
    }
    return length;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* transfer = static_cast<Transfer*>(context);
    size_t length = size * count;
    transfer->lastActivity = NowMs();
    transfer->response.body.insert(transfer->response.body.end(), data, data + length);
    return length;
  }

  // Called once a connection stands, before each request goes out on it
  // (again after every redirect): the send phase begins.
  static int OnRequestStart(void* context, char*, char*, int, int) {
    auto* transfer = static_cast<Transfer*>(context);
    transfer->requestStarted = true;
    transfer->receiving = transfer->bodySize == 0;
    transfer->uploaded = 0;
    transfer->lastActivity = NowMs();
    return CURL_PREREQFUNC_OK;
  }

  std::int32_t Send(const Variant& bodyArg) {
    if (state_ == State::kCreated) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN);
    if (state_ == State::kSent) return Win32Error(kERROR_WINHTTP_CANNOT_CALL_AFTER_SEND);

    std::string body;
    bool textBody = false;
    if (bodyArg.vt == (VT_ARRAY | VT_UI1) || bodyArg.vt == (VT_ARRAY | VT_I1)) {
      body.assign(bodyArg.bytes.begin(), bodyArg.bytes.end());
    } else if (!IsAbsent(bodyArg)) {
      if (bodyArg.vt == VT_DISPATCH || bodyArg.vt == VT_UNKNOWN) return kE_INVALIDARG;
      AnsiText text;
      std::int32_t hr = ChangeTypeToText(bodyArg, text);
      if (hr < 0) return hr;
      body = AnsiToUtf8(text);  // a text body goes out as UTF-8
      textBody = !body.empty();
    }

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi) return kE_OUTOFMEMORY;
    CURL* e = easy.get();

    Transfer transfer;
    transfer.bodySize = static_cast<curl_off_t>(body.size());

    // Request headers: ours in the order they were set; an empty entry
    // switches off a header libcurl would add on its own.
    std::unique_ptr<curl_slist, ListDeleter> list;
    auto append = [&](const std::string& line) {
      curl_slist* grown = curl_slist_append(list.get(), line.c_str());
      if (grown != nullptr) {
        (void)list.release();
        list.reset(grown);
      }
    };
    bool hasContentType = false;
    for (const auto& [name, value] : headers_) {
      if (EqualsIgnoringCase(name, "Content-Type")) hasContentType = true;
      append(name + ": " + value);
    }
    if (!hasContentType) {
      append(textBody ? "Content-Type: text/plain; Charset=UTF-8" : "Content-Type:");
    }
    append("Expect:");

    curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent_.c_str());
    if (method_ == "HEAD") curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (!body.empty() || method_ == "POST") {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, transfer.bodySize);
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, body.data());
    } else if (method_ == "GET") {
      curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method_.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_PROXY, proxy_.c_str());  // "" means none, whatever the environment says
    if (!proxyBypass_.empty()) curl_easy_setopt(e, CURLOPT_NOPROXY, proxyBypass_.c_str());
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER,
                     (sslIgnoreFlags_ & (kSslUnknownCa | kSslWrongUsage | kSslCertDateInvalid)) ? 0L : 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, (sslIgnoreFlags_ & kSslCertCnInvalid) ? 0L : 2L);

    // Resolving and connecting are libcurl's to time; it has one limit for both.
    long connectLimit = INT_MAX;  // "none": libcurl's 0 would mean its own default
    if (Finite(connectTimeout_)) {
      connectLimit = connectTimeout_ + (Finite(resolveTimeout_) ? resolveTimeout_ : 0);
    }
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectLimit);

    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpRequest::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpRequest::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &HttpRequest::OnRequestStart);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &transfer);

    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) return kE_OUTOFMEMORY;
    std::int32_t hr = Run(multi.get(), e, transfer);
    curl_multi_remove_handle(multi.get(), e);
    if (hr < 0) return hr;

    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    char* finalUrl = nullptr;
    curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &finalUrl);
    transfer.response.status = static_cast<std::int32_t>(status);
    if (finalUrl != nullptr) transfer.response.finalUrl = finalUrl;
    response_ = std::move(transfer.response);
    state_ = State::kSent;
    return kS_OK;
  }

  // Drives the transfer to its end, watching the send and receive phases.
  std::int32_t Run(CURLM* multi, CURL* easy, Transfer& transfer) {
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        return Win32Error(kERROR_WINHTTP_INTERNAL_ERROR);
      }
      if (running == 0) break;

      long long now = NowMs();
      long long waitMs = 100;
      if (transfer.requestStarted) {
        if (!transfer.receiving) {
          curl_off_t uploaded = 0;
          curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
          if (uploaded != transfer.uploaded) {
            transfer.uploaded = uploaded;
            transfer.lastActivity = now;
          }
          if (uploaded >= transfer.bodySize) transfer.receiving = true;
        }
        std::int32_t limit = transfer.receiving ? receiveTimeout_ : sendTimeout_;
        if (Finite(limit)) {
          long long idle = now - transfer.lastActivity;
          if (idle >= limit) return Win32Error(kERROR_WINHTTP_TIMEOUT);
          waitMs = std::min(waitMs, limit - idle);
        }
      }
      int ready = 0;
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max(waitMs, 1LL)), &ready);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        return CodeOfCurlResult(message->data.result);
      }
    }
    return Win32Error(kERROR_WINHTTP_INTERNAL_ERROR);
  }

  State state_ = State::kCreated;
  std::string method_;
  std::string url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  Response response_;

  std::int32_t resolveTimeout_ = 0;  // none
  std::int32_t connectTimeout_ = 60000;
  std::int32_t sendTimeout_ = 30000;
  std::int32_t receiveTimeout_ = 30000;
  std::string proxy_;
  std::string proxyBypass_;
  std::string userAgent_ = kDefaultUserAgent;
  std::int32_t sslIgnoreFlags_ = 0;
  bool followRedirects_ = true;
};

}  // namespace

ObjectRef CreateHttpRequestObject() { return MakeObject<HttpRequest>(); }

}  // namespace tavrel
