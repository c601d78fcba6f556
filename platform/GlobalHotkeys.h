#pragma once

// System-wide hotkeys: Control plus a letter, delivered while any program has
// the focus. One implementation per platform, chosen once at start-up.

#include <functional>

namespace lumivanta {

class GlobalHotkeys {
 public:
  using Handler = std::function<void(int id)>;

  virtual ~GlobalHotkeys() = default;

  // Registers Control plus key (an upper-case letter or digit) under id (not 0).
  // False when the key cannot be had, for example because another program
  // holds it; the hotkey is then simply absent.
  virtual bool Register(int id, char key) = 0;
  virtual void Unregister(int id) = 0;
  // False where the desktop offers no system-wide hotkeys at all.
  virtual bool Available() const { return true; }

  // Called with the id of a registered hotkey when it is pressed.
  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  // Called when the desktop, after taking the keys, turns out not to have
  // bound them (a desktop that binds them later, asynchronously).
  void SetUnboundHandler(std::function<void()> handler) { unbound_handler_ = std::move(handler); }

 protected:
  void Deliver(int id) const {
    if (handler_) {
      handler_(id);
    }
  }
  void ReportUnbound() const {
    if (unbound_handler_) {
      unbound_handler_();
    }
  }

 private:
  Handler handler_;
  std::function<void()> unbound_handler_;
};

// For platforms and sessions without system-wide hotkeys: every key is refused.
class NoGlobalHotkeys : public GlobalHotkeys {
 public:
  bool Register(int, char) override { return false; }
  void Unregister(int) override {}
  bool Available() const override { return false; }
};

}  // namespace lumivanta
