// Presses keys on a KWin session through its fake-input protocol, as a
// keyboard would: the tests' Ctrl+P on Plasma. KWin offers the protocol to
// any client only when it runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
//   kwin_fake_input KEY...   presses the evdev key codes in order, then
//                            releases them in the reverse order

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fake-input-client-protocol.h"

namespace {

constexpr std::uint32_t kKeyboardKeyVersion = 4;

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= kKeyboardKeyVersion) {
    *static_cast<org_kde_kwin_fake_input**>(data) = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kKeyboardKeyVersion));
  }
}
void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemoved};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::uint32_t> keys;
  for (int argument = 1; argument < argc; ++argument) {
    keys.push_back(static_cast<std::uint32_t>(std::strtoul(argv[argument], nullptr, 10)));
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr || keys.empty()) {
    std::fprintf(stderr, "usage: kwin_fake_input KEY... (in a Wayland session)\n");
    return 2;
  }
  org_kde_kwin_fake_input* input = nullptr;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &input);
  wl_display_roundtrip(display);
  if (input == nullptr) {
    std::fprintf(stderr, "kwin_fake_input: the compositor offers no fake input\n");
    return 1;
  }
  org_kde_kwin_fake_input_authenticate(input, "lumivanta tests", "presses keys for the tests");
  for (const std::uint32_t key : keys) {
    org_kde_kwin_fake_input_keyboard_key(input, key, WL_KEYBOARD_KEY_STATE_PRESSED);
    wl_display_roundtrip(display);
  }
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    org_kde_kwin_fake_input_keyboard_key(input, *key, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(display);
  }
  org_kde_kwin_fake_input_destroy(input);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return 0;
}
