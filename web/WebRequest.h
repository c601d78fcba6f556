#pragma once

// One HTTP exchange with the picture server over libcurl: the caller fills the
// form items, calls Request, then reads the response. Every request uses its
// own object; nothing stays open after Request returns, unless the request is
// given a kept connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "web/CancelToken.h"
#include "web/HttpTimeouts.h"
#include "web/Url.h"

namespace lumivanta {

enum RequestKind : int {
  RequestGet = 1,  // also every value other than 2 and 3
  RequestPostForm = 2,
  RequestPostMultipart = 3,
};

enum FormItemKind : int {
  ItemField = 1,
  ItemFile = 2,
};

struct WebFormItem {
  static constexpr std::size_t kMaxNameLength = 255;
  static constexpr std::size_t kMaxValueLength = 1023;

  std::string name;
  // A field's value, or a file part's file name: a path on disk, or only the
  // name to announce when the content comes from memory.
  std::string value;
  int kind = ItemField;
  // Content of a file part held in memory, owned by the caller, valid until
  // Request returns; null (or a size of 0) reads the file named by value.
  const std::uint8_t* data = nullptr;
  std::uint32_t data_size = 0;
};

// An HTTP connection and its handles kept from one request to the next, so
// that repeated requests to one server (a slideshow's uploads) skip the
// connect and the set-up of the handles; requests through it ask the server
// to keep the connection open. One request at a time may use it, from any
// thread; a failed request closes it, and the next one connects afresh.
class KeptConnection {
 public:
  KeptConnection();
  KeptConnection(const KeptConnection&) = delete;
  KeptConnection& operator=(const KeptConnection&) = delete;
  ~KeptConnection();

 private:
  friend class CWebRequest;
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

class CWebRequest {
 public:
  static constexpr std::size_t kResponseCapacity = 100'000;
  static constexpr std::string_view kMultipartBoundary = "--MULTI-PARTS-FORM-DATA-BOUNDARY";

  CWebRequest();
  CWebRequest(const CWebRequest&) = delete;
  CWebRequest& operator=(const CWebRequest&) = delete;
  virtual ~CWebRequest();

  // Names are cut to 255 and values to 1023 characters.
  void AddFormItem(std::string_view name, std::string_view value, bool is_file, const void* data,
                   std::uint32_t data_size);
  void ClearFormItems();
  const std::vector<WebFormItem>& FormItems() const { return form_items_; }

  // Sends one request of the given kind and reads the answer. True when it
  // was sent and a non-empty body came back, whatever the status code.
  bool Request(std::string_view url, int kind, std::string_view agent);

  // The body of the last response up to its first NUL byte; at most its first
  // 100,000 bytes are kept.
  std::string_view ResponseBody() const;
  // The raw header lines of the last response, each ended by CR LF.
  std::string_view ResponseHeaders() const;
  // The value of one header of the last response (any case), empty without it.
  std::string_view ResponseHeader(std::string_view name) const;
  // The libcurl error code of the step of the last Request that failed, 0 if none did.
  std::uint32_t LastError() const { return last_error_; }
  // The HTTP status code of the last response, 0 when none came.
  long StatusCode() const { return status_code_; }
  // How many connections the last Request opened: 0 when it went over a kept one.
  long NewConnections() const { return new_connections_; }
  // Why the last Request failed, in one short line for the activity log that
  // names the server as host:port, e.g. "connection refused (127.0.0.1:8080)";
  // also set for any status other than 2xx ("HTTP status 503 (127.0.0.1:8080)",
  // a redirect with its address) even when Request returned true. Empty when
  // the last exchange succeeded.
  std::string FailureCause() const { return failure_cause_; }

  // Bounds each following Request as a whole, from the name lookup to the
  // last byte of the answer: when the time is up it fails with
  // CURLE_OPERATION_TIMEDOUT. The default is http_timeouts::kDefaultTotal;
  // zero or less restores it, so that no request is ever unbounded.
  void SetTimeLimit(std::chrono::milliseconds total);
  std::chrono::milliseconds TimeLimit() const { return time_limit_; }

  // A request that sees this token cancelled (before or while it runs) ends
  // at once, whatever time is left of its limit, and fails with
  // CURLE_ABORTED_BY_CALLBACK. The token must outlive every Request of this
  // object.
  void SetCancelToken(CancelToken* token) { cancel_token_ = token; }

  // Following requests go through the given connection (null: a connection
  // of their own, closed after each request). It must outlive every Request
  // of this object.
  void SetKeptConnection(KeptConnection* connection) { kept_ = connection; }

  // The multipart/form-data body for the form items (see MultipartBody.cpp);
  // body is replaced. Returns its length.
  std::size_t BuildMultipartBody(std::vector<char>& body, std::string_view boundary) const;

 private:
  struct Transfer;

  bool OpenConnection(const ParsedUrl& url, std::string_view agent);
  bool SendGet();
  bool SendFormPost();
  bool SendMultipartPost();
  bool Perform();
  bool ReadResponse();
  void CloseHandles();
  bool Fail(std::uint32_t error);
  void ResetResponse();
  void NoteOutcome(const ParsedUrl& url, std::chrono::steady_clock::duration elapsed);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* request);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* request);
  static int OnProgress(void* request, std::int64_t, std::int64_t, std::int64_t, std::int64_t);

  std::vector<WebFormItem> form_items_;
  std::vector<char> response_body_;
  std::size_t body_received_ = 0;
  bool body_capped_ = false;
  std::vector<char> response_headers_;
  std::size_t headers_received_ = 0;
  std::uint32_t last_error_ = 0;
  long status_code_ = 0;
  long new_connections_ = 0;
  std::string failure_cause_;
  std::chrono::milliseconds time_limit_ = http_timeouts::kDefaultTotal;
  CancelToken* cancel_token_ = nullptr;
  KeptConnection* kept_ = nullptr;
  std::unique_ptr<Transfer> transfer_;  // the open handles, only during Request
};

}  // namespace lumivanta
