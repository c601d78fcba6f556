// The X11 global hotkeys in a QGuiApplication on a private Xvfb with a window
// manager, while a window of another client holds the focus: real key
// presses (XTEST, through xdotool) arrive, with any lock on; sent events do
// not; keys held elsewhere are refused; grabs are let go.

#include "platform/x11/X11GlobalHotkeys.h"

#include <gtest/gtest.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/KeyGrabProbe.h"
#include "tests/support/X11Scene.h"
#include "tests/support/XvfbSession.h"

namespace lumivanta {
namespace {

using test::KeyGrabProbe;
using test::X11Scene;
using test::XvfbSession;

constexpr std::chrono::seconds kDeliveryTimeout{20};
constexpr int kPublish = 1;
constexpr int kSlideshow = 2;
constexpr int kMouseCursor = 3;
constexpr int kOptions = 4;

// Counts the key presses that a client sent (SendEvent) to the root window.
class SentKeyPressCounter : public QAbstractNativeEventFilter {
 public:
  explicit SentKeyPressCounter(xcb_window_t root) : root_(root) {}
  bool nativeEventFilter(const QByteArray& event_type, void* message, qintptr*) override {
    if (event_type != "xcb_generic_event_t") {
      return false;
    }
    const auto* event = static_cast<const xcb_key_press_event_t*>(message);
    if (event->response_type == (XCB_KEY_PRESS | 0x80) && event->event == root_) {
      ++count;
    }
    return false;
  }
  int count = 0;

 private:
  xcb_window_t root_ = XCB_WINDOW_NONE;
};

class X11GlobalHotkeysTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::XvfbOptions options;
    options.window_manager = true;
    session_ = std::make_unique<XvfbSession>(options);
    session_->MakeCurrent();
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    application_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  static void TearDownTestSuite() {
    application_.reset();
    session_.reset();
  }

  void SetUp() override {
    scene_ = std::make_unique<X11Scene>(session_->DisplayName());
    focus_window_ = scene_->MapFocusedWindow();
    probe_ = std::make_unique<KeyGrabProbe>(session_->DisplayName());
    hotkeys_ = std::make_unique<X11GlobalHotkeys>();
    hotkeys_->SetHandler([this](int id) { presses_.push_back(id); });
  }

  void Press(const std::string& keys) { ASSERT_EQ(session_->Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", keys}), 0); }
  // A key event sent to the window (SendEvent), as a program can fake one.
  void SendPress(Window window, const std::string& keys) {
    ASSERT_EQ(session_->Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", "--window", std::to_string(window), keys}), 0);
  }

  // Runs the event loop until the handler has seen count presses; false when
  // the deadline passed first.
  bool AwaitPresses(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kDeliveryTimeout;
    while (presses_.size() < count) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      QThread::msleep(5);
    }
    return true;
  }

  static inline std::unique_ptr<XvfbSession> session_;
  static inline int argc_ = 1;
  static inline char program_name_[] = "x11_global_hotkeys_test";
  static inline char* argv_[] = {program_name_, nullptr};
  static inline std::unique_ptr<QGuiApplication> application_;

  std::unique_ptr<X11Scene> scene_;
  Window focus_window_ = None;
  std::unique_ptr<KeyGrabProbe> probe_;
  std::unique_ptr<X11GlobalHotkeys> hotkeys_;
  std::vector<int> presses_;
};

TEST_F(X11GlobalHotkeysTest, KeyPressesReachTheHandlerWhileAnotherProgramHasTheFocus) {
  ASSERT_TRUE(hotkeys_->Register(kPublish, 'P'));
  ASSERT_TRUE(hotkeys_->Register(kSlideshow, 'S'));

  Press("ctrl+p");
  ASSERT_TRUE(AwaitPresses(1));
  Press("ctrl+s");
  ASSERT_TRUE(AwaitPresses(2));
  EXPECT_EQ(presses_, (std::vector<int>{kPublish, kSlideshow}));
  EXPECT_EQ(scene_->Focus(), focus_window_);
}

TEST_F(X11GlobalHotkeysTest, KeyPressesArriveWithNumLockAndCapsLockOn) {
  ASSERT_TRUE(hotkeys_->Register(kPublish, 'P'));
  const unsigned num_lock = probe_->NumLockModifier();
  ASSERT_NE(num_lock, 0U);

  Press("Num_Lock");
  ASSERT_EQ(scene_->ModifierState() & (num_lock | LockMask), num_lock);
  Press("ctrl+p");
  ASSERT_TRUE(AwaitPresses(1)) << "with Num Lock";

  Press("Caps_Lock");
  ASSERT_EQ(scene_->ModifierState() & (num_lock | LockMask), num_lock | LockMask);
  Press("ctrl+p");
  ASSERT_TRUE(AwaitPresses(2)) << "with Num Lock and Caps Lock";

  Press("Num_Lock");
  ASSERT_EQ(scene_->ModifierState() & (num_lock | LockMask), static_cast<unsigned>(LockMask));
  Press("ctrl+p");
  ASSERT_TRUE(AwaitPresses(3)) << "with Caps Lock";
  Press("Caps_Lock");
  EXPECT_EQ(presses_, (std::vector<int>{kPublish, kPublish, kPublish}));
}

TEST_F(X11GlobalHotkeysTest, KeyEventsSentByAnotherProgramAreIgnored) {
  ASSERT_TRUE(hotkeys_->Register(kPublish, 'P'));
  ASSERT_TRUE(hotkeys_->Register(kSlideshow, 'S'));
  // Without interest in the root window's key presses, this client would
  // never see a key event sent there, and the test would prove nothing.
  xcb_connection_t* connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  const auto root = static_cast<xcb_window_t>(scene_->Root());
  const XcbReply<xcb_get_window_attributes_reply_t> attributes(
      xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr));
  ASSERT_TRUE(attributes);
  const std::uint32_t event_mask = attributes->your_event_mask | XCB_EVENT_MASK_KEY_PRESS;
  ASSERT_FALSE(XcbReply<xcb_generic_error_t>(xcb_request_check(
      connection, xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &event_mask))));
  SentKeyPressCounter sent_presses(root);
  qGuiApp->installNativeEventFilter(&sent_presses);

  // xdotool sends to the window only when it does not have the focus; to the
  // focused window it would press the key for real.
  SendPress(scene_->Root(), "ctrl+p");
  // A real press after the sent ones: once it is through, so are they.
  Press("ctrl+s");
  ASSERT_TRUE(AwaitPresses(1));
  qGuiApp->removeNativeEventFilter(&sent_presses);

  EXPECT_GE(sent_presses.count, 1) << "the sent key press did not reach this client";
  EXPECT_EQ(presses_, (std::vector<int>{kSlideshow}));
}

TEST_F(X11GlobalHotkeysTest, KeyHeldByAnotherProgramIsRefusedAndLeftAbsent) {
  const xcb_keycode_t p_key = probe_->Keycode(XK_p);
  const xcb_keycode_t o_key = probe_->Keycode(XK_o);
  ASSERT_TRUE(probe_->Grab(p_key, XCB_MOD_MASK_CONTROL));
  // Only the last lock variant is taken: the ones grabbed before it must be let go.
  ASSERT_TRUE(probe_->Grab(o_key, probe_->ControlWithLocks().back()));

  testing::internal::CaptureStderr();
  const bool publish = hotkeys_->Register(kPublish, 'P');
  const bool options = hotkeys_->Register(kOptions, 'O');
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(publish);
  EXPECT_FALSE(options);
  EXPECT_EQ(log,
            "lumivanta: global hotkeys: Ctrl+P is held by another program\n"
            "lumivanta: global hotkeys: Ctrl+O is held by another program\n");
  ASSERT_TRUE(hotkeys_->Register(kSlideshow, 'S'));

  const KeyGrabProbe third_client(session_->DisplayName());
  std::vector<std::uint16_t> let_go = probe_->ControlWithLocks();
  let_go.pop_back();  // the variant the probe holds
  for (const std::uint16_t modifiers : let_go) {
    EXPECT_TRUE(third_client.Grab(o_key, modifiers)) << "Ctrl+O with modifiers " << modifiers << " kept";
  }

  Press("ctrl+p");
  Press("ctrl+s");
  ASSERT_TRUE(AwaitPresses(1));
  EXPECT_EQ(presses_, (std::vector<int>{kSlideshow}));
}

TEST_F(X11GlobalHotkeysTest, UnregisterAndDestructionLetTheKeysGo) {
  const xcb_keycode_t p_key = probe_->Keycode(XK_p);
  const xcb_keycode_t m_key = probe_->Keycode(XK_m);
  ASSERT_TRUE(hotkeys_->Register(kPublish, 'P'));
  ASSERT_TRUE(hotkeys_->Register(kMouseCursor, 'M'));
  EXPECT_TRUE(probe_->NoLockVariantFree(p_key));
  EXPECT_TRUE(probe_->NoLockVariantFree(m_key));

  hotkeys_->Unregister(kPublish);
  EXPECT_TRUE(probe_->AwaitAllLockVariantsFree(p_key));
  EXPECT_TRUE(probe_->NoLockVariantFree(m_key));
  Press("ctrl+p");
  Press("ctrl+m");
  ASSERT_TRUE(AwaitPresses(1));
  EXPECT_EQ(presses_, (std::vector<int>{kMouseCursor}));

  hotkeys_.reset();
  EXPECT_TRUE(probe_->AwaitAllLockVariantsFree(m_key));
}

}  // namespace
}  // namespace lumivanta
