// Linux-only paths of WebRequest: a request object that cannot be created,
// the pairing of the component library scope, and a server that never answers.

#include <gtest/gtest.h>

#include "runtime/automation_posix.h"
#include "runtime/com_library_posix.h"
#include "runtime/http_request_posix.h"
#include "tests/support/loopback_server.h"
#include "web/web_request.h"

namespace tavrel {
namespace {

TEST(WebRequestPosix, ObjectThatCannotBeCreatedLeavesOutputsAndPairsTheScope) {
  UnregisterObjectFactory(kRequestProgId);
  AnsiText headers = "kept";
  AnsiText cookies = "kept";
  std::int32_t status = 42;
  const ComCounts before = ComCountsOfThisThread();
  const ByteBuffer body = WebRequest({.url = "http://127.0.0.1:1/",
                                      .cookies = AnsiText("a=1"),
                                      .returnedCookies = &cookies,
                                      .responseHeaders = &headers,
                                      .statusCode = &status});
  const ComCounts after = ComCountsOfThisThread();
  // Put the real request object back for the other tests.
  RegisterObjectFactory(kRequestProgId, kHttpRequestClassId,
                        SimpleFactory([] { return CreateHttpRequestObject(); }));

  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "kept");
  EXPECT_EQ(cookies, "kept");
  EXPECT_EQ(status, 42);
  EXPECT_EQ(after.initialisations - before.initialisations, 1);
  EXPECT_EQ(after.uninitialisations - before.uninitialisations, 1);
  EXPECT_FALSE(ComInitialisedOnThisThread());
}

TEST(WebRequestPosix, ServerThatNeverAnswersFailsAfterTheTimeout) {
  testing::LoopbackServer server;
  ASSERT_TRUE(server.Started());
  testing::ScriptedResponse silent;
  silent.mode = testing::ScriptedResponse::Mode::kNeverAnswer;
  server.SetDefault(silent);
  AnsiText headers = "old";
  std::int32_t status = 7;
  const ComCounts before = ComCountsOfThisThread();
  WebRequest({.url = server.Url(),
              .method = 2,
              .responseHeaders = &headers,
              .statusCode = &status,
              .timeoutSeconds = 1});
  const ComCounts after = ComCountsOfThisThread();
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(after.uninitialisations - before.uninitialisations, 1);
}

}  // namespace
}  // namespace tavrel
