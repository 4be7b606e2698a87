#pragma once
// The parts of the display surface that need no display: its option set and
// the rules that derive the options in force, the requested display mode,
// the choice of a display mode, and the rectangle a frame is presented in.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <vector>

#include "display/dib.hpp"

namespace tav {

// Raised by the display object ("%s cannot be initialized", bit counts, ...).
class EDirectDrawError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised by the display control ("Form not found", display mode, surfaces).
class EDXDrawError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Raised when the back surface cannot be re-created.
class EDirectDrawSurfaceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// In this order: the order is the bit position in a stored set.
enum class TDXDrawOption : uint8_t {
  doFullScreen,
  doNoWindowChange,
  doAllowReboot,
  doWaitVBlank,
  doAllowPalette256,
  doSystemMemory,
  doStretch,
  doCenter,
  doFlip,
  do3D,
  doDirectX7Mode,
  doRetainedMode,
  doHardware,
  doSelectDriver,
  doZBuffer,
};

class DXDrawOptions {
 public:
  constexpr DXDrawOptions() = default;
  constexpr DXDrawOptions(std::initializer_list<TDXDrawOption> options) {
    for (auto o : options) bits_ |= Bit(o);
  }
  constexpr bool Has(TDXDrawOption o) const { return (bits_ & Bit(o)) != 0; }
  constexpr DXDrawOptions& Add(TDXDrawOption o) { bits_ |= Bit(o); return *this; }
  constexpr DXDrawOptions& Remove(TDXDrawOption o) { bits_ &= static_cast<uint16_t>(~Bit(o)); return *this; }
  constexpr void Set(TDXDrawOption o, bool on) { on ? Add(o) : Remove(o); }
  constexpr uint16_t Bits() const { return bits_; }
  friend constexpr bool operator==(DXDrawOptions, DXDrawOptions) = default;

 private:
  static constexpr uint16_t Bit(TDXDrawOption o) { return static_cast<uint16_t>(1u << static_cast<unsigned>(o)); }
  uint16_t bits_ = 0;
};

// Options of a newly created display control.
inline constexpr DXDrawOptions kDefaultDXDrawOptions{
    TDXDrawOption::doAllowReboot, TDXDrawOption::doWaitVBlank,  TDXDrawOption::doCenter,
    TDXDrawOption::doDirectX7Mode, TDXDrawOption::doHardware, TDXDrawOption::doSelectDriver};

// The options in force after `assigned` is assigned. While initialized only
// doWaitVBlank, doStretch and doCenter follow at once; the rest keep what
// `current` has.
DXDrawOptions EffectiveOptions(DXDrawOptions assigned, DXDrawOptions current, bool initialized);

// The display mode asked for in full screen.
class TDXDrawDisplay {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bitCount_; }
  void SetWidth(int w) { width_ = w < 0 ? 0 : w; }
  void SetHeight(int h) { height_ = h < 0 ? 0 : h; }
  // 8, 16, 24 or 32; anything else raises EDirectDrawError and keeps the old value.
  void SetBitCount(int n);
  bool FixedBitCount = false, FixedRatio = false, FixedSize = false;

 private:
  int width_ = 640, height_ = 480, bitCount_ = 16;
};

struct DisplayMode {
  int Width = 0, Height = 0, BitCount = 0;
  friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// The mode to set when `want` itself cannot be: the smallest listed mode no
// smaller than `want` with an acceptable depth (at least the wanted depth when
// either side has 8 bits or fewer, any depth otherwise), taking the wanted
// depth at that size when it is listed. None when nothing fits.
std::optional<DisplayMode> ClosestDisplayMode(const std::vector<DisplayMode>& modes, DisplayMode want);

// Where the back surface of surfaceW x surfaceH goes in the control: the whole
// control with doStretch, else the surface's own size at the control's
// origin, centred with doCenter.
Rect PresentRect(DXDrawOptions effective, const Rect& control, int surfaceW, int surfaceH);

}  // namespace tav
