#include "platform/wayland_seat.hpp"

#include <wayland-client.h>

#include <cstdint>
#include <cstring>

namespace tav {
namespace {

struct SeatProbe {
  wl_seat* seat = nullptr;
  bool answered = false;
  uint32_t capabilities = 0;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* probe = static_cast<SeatProbe*>(data);
  // Version 1 already tells the capabilities.
  if (!probe->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
    probe->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

void OnCapabilities(void* data, wl_seat*, uint32_t capabilities) {
  auto* probe = static_cast<SeatProbe*>(data);
  probe->capabilities = capabilities;
  probe->answered = true;
}
void OnName(void*, wl_seat*, const char*) {}

const wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};
const wl_seat_listener kSeatListener{OnCapabilities, OnName};

}  // namespace

std::optional<bool> WaylandSeatHasKeyboard() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return std::nullopt;
  SeatProbe probe;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &probe);
  std::optional<bool> answer;
  if (wl_display_roundtrip(display) >= 0) {  // the globals, and so the seat
    if (!probe.seat) {
      answer = false;  // no seat: no keyboard either
    } else {
      wl_seat_add_listener(probe.seat, &kSeatListener, &probe);
      if (wl_display_roundtrip(display) >= 0 && probe.answered)
        answer = (probe.capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    }
  }
  if (probe.seat) wl_seat_destroy(probe.seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  return answer;
}

}  // namespace tav
