#pragma once

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "server/serve/ServingState.h"
#include "server/viewer/PictureEvents.h"

namespace lumivanta::server {

// One viewer's Server-Sent Events stream for one name: the name's state at
// once, then each change as it happens. A viewer that cannot keep up gets the
// newest state only, as each message carries the whole state. A comment line
// every few seconds keeps proxies from closing the stream and finds viewers
// that are gone; a viewer that takes no bytes for the body deadline is reset.
class EventStream final : public std::enable_shared_from_this<EventStream>, private PictureEvents::Listener {
 public:
  // The request that asked for the stream has been read whole from the socket.
  EventStream(boost::asio::ip::tcp::socket socket, ServingState& state, std::string name, std::string client,
              std::string target);
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;
  ~EventStream();

  void Start();

 private:
  // Reads the name's state where the store may wait, and sends it when it comes.
  void SendStateFromWorker();
  void Deliver(const PictureEvents::Message& message) override;
  void Send(PictureEvents::Message message);
  // The state's message with the name's viewer count, this stream included.
  PictureEvents::Message CountedStateMessage(std::string_view state_json);
  void OnSent(boost::system::error_code error, std::size_t bytes);
  void WaitForClientToLeave();
  void KeepAlive();
  void Close();

  boost::asio::ip::tcp::socket socket_;
  boost::asio::steady_timer keep_alive_timer_;
  ServingState& state_;
  std::string name_;
  std::string client_;
  std::string target_;
  std::optional<PictureEvents::Subscription> subscription_;
  PictureEvents::Message sending_;
  // The newest message that came while another was being sent.
  PictureEvents::Message waiting_;
  std::chrono::steady_clock::time_point sending_since_;
  std::array<char, 256> read_buffer_{};
  std::uint64_t bytes_sent_ = 0;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace lumivanta::server
