#pragma once

// Beijing time from a web server's clock: the Date header of a HEAD answer
// from the time source's root page, plus eight hours.

#include <optional>

#include "runtime/values.h"
#include "time/date_time.h"

namespace tavrel {

// The root page of a well-known public server answering plain HTTP.
inline constexpr const char* kDefaultTimeSource = "http://www.baidu.com/";

// Never fails: a failed request or an unreadable Date gives a value in the
// year 100, which SetClock refuses.
DateTime FetchNetworkTime(const std::optional<AnsiText>& url = std::nullopt);

}  // namespace tavrel
