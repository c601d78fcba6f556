#include "web/WebRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>

#include "web/FailureCause.h"
#include "web/HeaderValue.h"
#include "web/HttpTimeouts.h"

namespace lumivanta {
namespace {

constexpr std::size_t kFormTextCapacity = 1023;
// Longest wait between two looks at the transfer; a cancel wakes it earlier.
constexpr int kPollIntervalMs = 1000;
// libcurl's upload buffer: its default size and the most it takes.
constexpr std::size_t kLeastUploadBufferBytes = 64 * 1024;
constexpr std::size_t kMostUploadBufferBytes = 2 * 1024 * 1024;
constexpr const char* kAcceptHeader = "Accept: */*";

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};

std::optional<CURLcode> FinishedResult(CURLM* multi) {
  int queued = 0;
  while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg == CURLMSG_DONE) {
      return message->data.result;
    }
  }
  return std::nullopt;
}

// The address handed to libcurl: only the exact scheme "https" goes over TLS;
// every other scheme is spoken as plain HTTP on the parsed port.
std::string TransportUrl(const ParsedUrl& url) {
  const bool secure = url.scheme == "https";
  std::string address = secure ? "https://" : "http://";
  address += url.host;
  address += ':';
  address += std::to_string(url.port);
  address += url.path.empty() ? "/" : url.path;
  return address;
}

}  // namespace

// The easy handle, the multi handle that holds its open connection between
// requests, and the request body's buffer, kept for reuse.
struct KeptConnection::Handles {
  std::unique_ptr<CURL, CurlEasyDeleter> easy;
  std::unique_ptr<CURLM, CurlMultiDeleter> multi;
  std::vector<char> body;
};

KeptConnection::KeptConnection() = default;

KeptConnection::~KeptConnection() = default;

// The handles and buffers of one exchange; they live only inside Request,
// unless they are a kept connection's.
struct CWebRequest::Transfer {
  std::unique_ptr<CURL, CurlEasyDeleter> own_easy;
  std::unique_ptr<CURLM, CurlMultiDeleter> own_multi;
  std::vector<char> own_body;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  std::vector<char>* body = &own_body;
  std::unique_ptr<curl_slist, CurlListDeleter> headers;
  std::string address;
  char error_text[CURL_ERROR_SIZE] = {};
  std::string form_text;

  bool AddHeader(const std::string& line) {
    curl_slist* head = curl_slist_append(headers.get(), line.c_str());
    if (head == nullptr) {
      return false;
    }
    if (!headers) {
      headers.reset(head);
    }
    return true;
  }
};

CWebRequest::CWebRequest() = default;

CWebRequest::~CWebRequest() = default;

void CWebRequest::AddFormItem(std::string_view name, std::string_view value, bool is_file, const void* data,
                              std::uint32_t data_size) {
  WebFormItem item;
  item.name = std::string(name.substr(0, WebFormItem::kMaxNameLength));
  item.value = std::string(value.substr(0, WebFormItem::kMaxValueLength));
  item.kind = is_file ? ItemFile : ItemField;
  item.data = static_cast<const std::uint8_t*>(data);
  item.data_size = data_size;
  form_items_.push_back(std::move(item));
}

void CWebRequest::ClearFormItems() {
  form_items_.clear();
  form_items_.shrink_to_fit();
}

std::string_view CWebRequest::ResponseBody() const {
  const std::string_view received(response_body_.data(), body_received_);
  return received.substr(0, received.find('\0'));
}

std::string_view CWebRequest::ResponseHeaders() const {
  return std::string_view(response_headers_.data(), headers_received_);
}

std::string_view CWebRequest::ResponseHeader(std::string_view name) const {
  return HeaderValue(ResponseHeaders(), name);
}

bool CWebRequest::Fail(std::uint32_t error) {
  last_error_ = error;
  return false;
}

void CWebRequest::SetTimeLimit(std::chrono::milliseconds total) {
  time_limit_ = total > std::chrono::milliseconds::zero() ? total : http_timeouts::kDefaultTotal;
}

void CWebRequest::ResetResponse() {
  // The buffers grow as the answer comes, up to their capacity.
  response_body_.clear();
  response_headers_.clear();
  body_received_ = 0;
  headers_received_ = 0;
  body_capped_ = false;
  status_code_ = 0;
  new_connections_ = 0;
  failure_cause_.clear();
}

bool CWebRequest::Request(std::string_view url, int kind, std::string_view agent) {
  ResetResponse();
  last_error_ = 0;
  const auto start = std::chrono::steady_clock::now();
  const ParsedUrl parsed = ParseUrl(url);
  bool sent = false;
  if (OpenConnection(parsed, agent)) {
    switch (kind) {
      case RequestPostForm:
        sent = SendFormPost();
        break;
      case RequestPostMultipart:
        sent = SendMultipartPost();
        break;
      default:
        sent = SendGet();
        break;
    }
  }
  const bool read = sent && ReadResponse();
  NoteOutcome(parsed, std::chrono::steady_clock::now() - start);
  CloseHandles();
  // A connection that failed in any way, or whose answer was cut short, is
  // not trusted with the next request.
  if (kept_ != nullptr && (!sent || !failure_cause_.empty() || body_capped_)) {
    kept_->handles_.reset();
  }
  return sent && read;
}

// Reads what the finished transfer knows (status, errno, curl's text) while
// its handle is still open.
void CWebRequest::NoteOutcome(const ParsedUrl& url, std::chrono::steady_clock::duration elapsed) {
  ExchangeOutcome outcome{
      .curl_code = static_cast<int>(last_error_),
      .body_empty = body_received_ == 0,
      .elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed),
      .limit = time_limit_,
      .host = url.host,
      .port = url.port,
      .location = HeaderValue(ResponseHeaders(), "location"),
  };
  if (transfer_ && transfer_->easy != nullptr) {
    CURL* easy = transfer_->easy;
    if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status_code_) != CURLE_OK) {
      status_code_ = 0;
    }
    if (curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &outcome.os_errno) != CURLE_OK) {
      outcome.os_errno = 0;
    }
    if (curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &new_connections_) != CURLE_OK) {
      new_connections_ = 0;
    }
    outcome.curl_text = transfer_->error_text;
  }
  outcome.status = status_code_;
  failure_cause_ = DescribeFailure(outcome);
}

bool CWebRequest::OpenConnection(const ParsedUrl& url, std::string_view agent) {
  InitialiseCurlOnce();
  transfer_ = std::make_unique<Transfer>();
  if (kept_ != nullptr) {
    if (!kept_->handles_) {
      kept_->handles_ = std::make_unique<KeptConnection::Handles>();
    }
    KeptConnection::Handles& kept = *kept_->handles_;
    if (!kept.easy) {
      kept.easy.reset(curl_easy_init());
    }
    if (!kept.multi) {
      kept.multi.reset(curl_multi_init());
    }
    transfer_->easy = kept.easy.get();
    transfer_->multi = kept.multi.get();
    transfer_->body = &kept.body;
  } else {
    transfer_->own_easy.reset(curl_easy_init());
    transfer_->own_multi.reset(curl_multi_init());
    transfer_->easy = transfer_->own_easy.get();
    transfer_->multi = transfer_->own_multi.get();
  }
  CURL* easy = transfer_->easy;
  if (easy == nullptr || transfer_->multi == nullptr) {
    CloseHandles();
    return Fail(easy == nullptr ? CURLE_FAILED_INIT : CURLE_OUT_OF_MEMORY);
  }
  transfer_->address = TransportUrl(url);
  const std::string user_agent(agent);
  const CURLcode results[] = {
      curl_easy_setopt(easy, CURLOPT_URL, transfer_->address.c_str()),
      curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"),
      curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)),
      curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L),
      curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L),
      curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer_->error_text),
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, http_timeouts::kConnectTimeoutMs),
      curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(time_limit_.count())),
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, http_timeouts::kLowSpeedLimitBytesPerSecond),
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, http_timeouts::kLowSpeedTimeSeconds),
      curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CWebRequest::OnBody),
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, this),
      curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CWebRequest::OnHeader),
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, this),
      curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CWebRequest::OnProgress),
      curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this),
      curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L),
      // An empty agent sends no User-Agent header at all.
      curl_easy_setopt(easy, CURLOPT_USERAGENT, user_agent.empty() ? nullptr : user_agent.c_str()),
  };
  for (const CURLcode result : results) {
    if (result != CURLE_OK) {
      CloseHandles();
      return Fail(result);
    }
  }
  return true;
}

bool CWebRequest::SendGet() {
  if (!transfer_->AddHeader(kAcceptHeader)) {
    return Fail(CURLE_OUT_OF_MEMORY);
  }
  CURL* easy = transfer_->easy;
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer_->headers.get());
  return Perform();
}

bool CWebRequest::SendFormPost() {
  // name=value pairs joined by "&", unescaped, at most 1023 characters.
  std::string& text = transfer_->form_text;
  for (const WebFormItem& item : form_items_) {
    if (&item != &form_items_.front()) {
      text += '&';
    }
    text += item.name;
    text += '=';
    text += item.value;
  }
  text.resize(std::min(text.size(), kFormTextCapacity));

  if (!transfer_->AddHeader(kAcceptHeader) ||
      !transfer_->AddHeader("Content-Type: application/x-www-form-urlencoded") || !transfer_->AddHeader("Expect:")) {
    return Fail(CURLE_OUT_OF_MEMORY);
  }
  CURL* easy = transfer_->easy;
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, text.data());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(text.size()));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer_->headers.get());
  return Perform();
}

bool CWebRequest::SendMultipartPost() {
  std::vector<char>& body = *transfer_->body;
  const std::size_t length = BuildMultipartBody(body, kMultipartBoundary);
  const bool headers_added =
      transfer_->AddHeader(kAcceptHeader) &&
      transfer_->AddHeader("Content-Type: multipart/form-data; boundary=" + std::string(kMultipartBoundary)) &&
      transfer_->AddHeader("Content-Length: " + std::to_string(length)) && transfer_->AddHeader("Expect:");
  if (!headers_added) {
    body.clear();
    return Fail(CURLE_OUT_OF_MEMORY);
  }
  CURL* easy = transfer_->easy;
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer_->headers.get());
  // The body goes in one write after the header rather than in 64 KiB
  // pieces: each write wakes the server, and each wait for the socket wakes us.
  curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE,
                   static_cast<long>(std::clamp(length, kLeastUploadBufferBytes, kMostUploadBufferBytes)));
  const bool sent = Perform();
  // A kept connection keeps the buffer for the next body.
  body.clear();
  if (kept_ == nullptr) {
    body.shrink_to_fit();
  }
  return sent;
}

// Runs the exchange through a multi handle so that a cancel from another
// thread can wake the wait at once instead of after libcurl's next tick.
bool CWebRequest::Perform() {
  if (cancel_token_ != nullptr && cancel_token_->IsCancelled()) {
    return Fail(CURLE_ABORTED_BY_CALLBACK);
  }
  CURLM* multi = transfer_->multi;
  CURL* easy = transfer_->easy;
  // HTTP/1.0 closes the connection after each answer unless asked to keep it.
  if (kept_ != nullptr) {
    if (!transfer_->AddHeader("Connection: keep-alive")) {
      return Fail(CURLE_OUT_OF_MEMORY);
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer_->headers.get());
  }
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    return Fail(CURLE_OUT_OF_MEMORY);
  }
  if (cancel_token_ != nullptr) {
    cancel_token_->AttachWaker([multi] { curl_multi_wakeup(multi); });
  }
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_RECV_ERROR;
      break;
    }
    if (const std::optional<CURLcode> finished = FinishedResult(multi)) {
      result = *finished;
      break;
    }
    // Whatever state the transfer is in, a cancel ends it here.
    if (running == 0 || (cancel_token_ != nullptr && cancel_token_->IsCancelled())) {
      result = running == 0 ? CURLE_GOT_NOTHING : CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi, nullptr, 0, kPollIntervalMs, nullptr);
  }
  if (cancel_token_ != nullptr) {
    cancel_token_->DetachWaker();
  }
  curl_multi_remove_handle(multi, easy);

  // Stopping the transfer once the body buffer is full is not a failure.
  if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && body_capped_)) {
    return true;
  }
  return Fail(result);
}

bool CWebRequest::ReadResponse() {
  if (!transfer_ || transfer_->easy == nullptr) {
    return Fail(CURLE_FAILED_INIT);
  }
  return body_received_ > 0;
}

void CWebRequest::CloseHandles() {
  // A kept handle forgets every option of this request (they point into it);
  // its connection stays open.
  if (transfer_ && transfer_->easy != nullptr && transfer_->easy != transfer_->own_easy.get()) {
    curl_easy_reset(transfer_->easy);
  }
  transfer_.reset();
}

std::size_t CWebRequest::OnBody(char* data, std::size_t size, std::size_t count, void* request) {
  auto* self = static_cast<CWebRequest*>(request);
  const std::size_t offered = size * count;
  const std::size_t taken = std::min(offered, kResponseCapacity - self->body_received_);
  self->response_body_.insert(self->response_body_.end(), data, data + taken);
  self->body_received_ += taken;
  if (taken < offered) {
    self->body_capped_ = true;
    return 0;  // the rest is not read
  }
  return offered;
}

int CWebRequest::OnProgress(void* request, std::int64_t, std::int64_t, std::int64_t, std::int64_t) {
  const auto* self = static_cast<CWebRequest*>(request);
  return self->cancel_token_ != nullptr && self->cancel_token_->IsCancelled() ? 1 : 0;
}

std::size_t CWebRequest::OnHeader(char* data, std::size_t size, std::size_t count, void* request) {
  auto* self = static_cast<CWebRequest*>(request);
  const std::size_t offered = size * count;
  const std::size_t taken = std::min(offered, kResponseCapacity - self->headers_received_);
  self->response_headers_.insert(self->response_headers_.end(), data, data + taken);
  self->headers_received_ += taken;
  return offered;
}

}  // namespace lumivanta
