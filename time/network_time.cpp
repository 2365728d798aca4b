#include "time/network_time.h"

#include "time/http_date.h"
#include "web/text_ops.h"
#include "web/web_request.h"

namespace tavrel {
namespace {
constexpr std::int32_t kHeadMethod = 2;
constexpr std::int32_t kHoursUnit = 6;
constexpr std::int32_t kBeijingOffsetHours = 8;
}  // namespace

DateTime FetchNetworkTime(const std::optional<AnsiText>& url) {
  AnsiText responseHeaders;
  WebRequest({.url = url.value_or(AnsiText(kDefaultTimeSource)),
              .method = kHeadMethod,
              .responseHeaders = &responseHeaders,
              .completeHeaders = true});
  // The first "Date:" wins, case counting; the value keeps its leading blank.
  const AnsiText value = TextBetween(responseHeaders, "Date:", "\r\n");
  return AddInterval(HttpDateToDateTime(value), kHoursUnit, kBeijingOffsetHours);
}

}  // namespace tavrel
