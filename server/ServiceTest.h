#pragma once
// One trial call of a configured search or submission service, for the
// program's Search Services page: "servicetest-pt.cgi?service=search.NAME&
// query=WORDS" runs one search, "service=submit.NAME&url=PAGE" checks an
// IndexNow service's key file on the page's site or asks a GET service's
// server for its root page (nothing is submitted either way), and
// "service=list" names the services
// the server has. The answer: "SERVICETEST", then "OK" or "FAILED", what
// happened in words, and the first result, each followed by "<br>".
#include "Service.h"

#include <string_view>

namespace vantora {

ServiceAnswer ServiceTestAnswer(std::string_view rawQuery, const ServiceConfig& config,
                                const PageFetcher& fetch);

} // namespace vantora
