#include "web/FailureCause.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "base/UploadKeyPath.h"

namespace lumivanta {
namespace {

// A redirect's address is named up to this length.
constexpr std::size_t kLongestLocationShown = 200;

std::string ServerName(const ExchangeOutcome& outcome) {
  return std::string(outcome.host) + ':' + std::to_string(outcome.port);
}

// The time waited, in tenths of a second below 10 s and whole seconds above,
// rounded to the nearest: a bound is named as set (1.5 s, 10 s, 30 s), not a
// millisecond early as libcurl's clock saw it or late as a busy machine did.
std::string Seconds(std::chrono::milliseconds elapsed, std::chrono::milliseconds limit) {
  const long long ms = std::max<long long>(std::min(elapsed, limit).count(), 0);
  if (ms >= 9'950) {
    return std::to_string((ms + 500) / 1000) + " s";
  }
  const long long tenths = (ms + 50) / 100;
  if (tenths % 10 == 0) {
    return std::to_string(tenths / 10) + " s";
  }
  return std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10) + " s";
}

bool IsTlsFailure(int code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return true;
    default:
      return false;
  }
}

// libcurl's detailed text when it left one (without its trailing blanks), else its text for the code.
std::string CurlText(const ExchangeOutcome& outcome) {
  std::string_view text = outcome.curl_text;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text.empty() ? curl_easy_strerror(static_cast<CURLcode>(outcome.curl_code)) : std::string(text);
}

std::string ConnectFailure(long os_errno) {
  switch (os_errno) {
    case ECONNREFUSED:
      return "connection refused";
    case ENETUNREACH:
      return "network unreachable";
    case EHOSTUNREACH:
      return "host unreachable";
    case 0:
      return "cannot connect";
    default:
      return "cannot connect: " + std::system_category().message(static_cast<int>(os_errno));
  }
}

// The cause without the server's name, or empty when it needs curl's own text.
std::string TransferFailure(const ExchangeOutcome& outcome) {
  switch (outcome.curl_code) {
    case CURLE_COULDNT_CONNECT:
      return ConnectFailure(outcome.os_errno);
    case CURLE_OPERATION_TIMEDOUT:
      return "no answer within " + Seconds(outcome.elapsed, outcome.limit);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      if (outcome.os_errno == ECONNRESET) {
        return "connection reset";
      }
      if (outcome.os_errno == EPIPE) {
        return "connection closed";
      }
      return {};
    case CURLE_GOT_NOTHING:
      return "empty answer";
    case CURLE_PARTIAL_FILE:
      return "answer cut short";
    case CURLE_URL_MALFORMAT:
      return "invalid server address";
    default:
      return IsTlsFailure(outcome.curl_code) ? "TLS: " + CurlText(outcome) : std::string();
  }
}

std::string Describe(const ExchangeOutcome& outcome) {
  switch (outcome.curl_code) {
    case CURLE_OK:
      if (outcome.status != 0 && (outcome.status < 200 || outcome.status >= 300)) {
        std::string cause = "HTTP status " + std::to_string(outcome.status) + " (" + ServerName(outcome) + ')';
        if (outcome.status >= 300 && outcome.status < 400 && !outcome.location.empty()) {
          cause += ", redirected to " + MaskUploadKey(outcome.location.substr(0, kLongestLocationShown));
        }
        return cause;
      }
      return outcome.body_empty ? "empty answer (" + ServerName(outcome) + ')' : std::string();
    case CURLE_ABORTED_BY_CALLBACK:
      return "cancelled";
    case CURLE_OUT_OF_MEMORY:
      return "out of memory";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "unknown host (" + std::string(outcome.host) + ')';
    default:
      break;
  }
  std::string cause = TransferFailure(outcome);
  if (cause.empty()) {
    cause = CurlText(outcome);
  }
  return cause + " (" + ServerName(outcome) + ')';
}

}  // namespace

std::string DescribeFailure(const ExchangeOutcome& outcome) {
  std::string text = Describe(outcome);
  // A typed host or a peer's text must not break the log line it goes into.
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, '?');
  return text;
}

}  // namespace lumivanta
