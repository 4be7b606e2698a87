#pragma once
// The holder's small decisions, apart from X so they can be tested alone.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace tav::lock {

using Clock = std::chrono::steady_clock;

// When a drawing child that died may start again, given its earlier starts
// (oldest first): at once after the first death, then after 1, 2, 4 s...,
// and never more than five starts in a minute, so a child that dies at
// once does not keep a core busy.
inline Clock::time_point NextDrawStart(const std::vector<Clock::time_point>& starts, Clock::time_point now) {
  using namespace std::chrono_literals;
  const auto recent = static_cast<std::size_t>(
      std::count_if(starts.begin(), starts.end(), [&](Clock::time_point t) { return t > now - 60s; }));
  if (recent <= 1) return now;
  Clock::time_point next = now + std::chrono::seconds(1LL << std::min<std::size_t>(recent - 2, 5));
  if (recent >= 5) next = std::max(next, starts[starts.size() - 5] + 60s);
  return next;
}

// Xft.dpi from the RESOURCE_MANAGER text, as a scale over 96; 1 without one.
inline double XftDpiScale(const char* resources) {
  if (!resources) return 1;
  for (const char* p = resources; (p = std::strstr(p, "Xft.dpi:")) != nullptr; p += 8) {
    if (p != resources && p[-1] != '\n') continue;
    const double dpi = std::strtod(p + 8, nullptr);
    if (dpi >= 24 && dpi <= 960) return dpi / 96;
    return 1;
  }
  return 1;
}

// A descriptor number as the environment gives it: decimal digits only.
inline std::optional<int> ParseFdNumber(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int fd = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    fd = fd * 10 + (c - '0');
  }
  return fd;
}

}  // namespace tav::lock
