#include "display/dxdraw_logic.hpp"

#include "display/dxconsts.hpp"

namespace tav {

using O = TDXDrawOption;

DXDrawOptions EffectiveOptions(DXDrawOptions assigned, DXDrawOptions current, bool initialized) {
  DXDrawOptions e;
  if (initialized) {
    e = current;
    for (O o : {O::doWaitVBlank, O::doStretch, O::doCenter}) e.Set(o, assigned.Has(o));
    if (!e.Has(O::do3D))
      for (O o : {O::doRetainedMode, O::doHardware, O::doSelectDriver, O::doZBuffer}) e.Remove(o);
    return e;
  }
  e = assigned;
  if (!e.Has(O::doFullScreen))
    for (O o : {O::doNoWindowChange, O::doAllowReboot, O::doAllowPalette256, O::doFlip}) e.Remove(o);
  if (!e.Has(O::do3D))
    for (O o : {O::doDirectX7Mode, O::doRetainedMode, O::doHardware, O::doSelectDriver, O::doZBuffer})
      e.Remove(o);
  if (e.Has(O::doSystemMemory)) e.Remove(O::doFlip);
  if (e.Has(O::doDirectX7Mode)) e.Remove(O::doRetainedMode);
  e.Remove(O::doHardware);
  return e;
}

void TDXDrawDisplay::SetBitCount(int n) {
  if (n != 8 && n != 16 && n != 24 && n != 32) throw EDirectDrawError(dxconsts::SInvalidDIBBitCount);
  bitCount_ = n;
}

std::optional<DisplayMode> ClosestDisplayMode(const std::vector<DisplayMode>& modes, DisplayMode want) {
  auto acceptableDepth = [&](const DisplayMode& m) {
    if (m.BitCount <= 8 || want.BitCount <= 8) return m.BitCount >= want.BitCount;
    return true;
  };
  const DisplayMode* best = nullptr;
  for (const auto& m : modes) {
    if (m.Width < want.Width || m.Height < want.Height || !acceptableDepth(m)) continue;
    if (!best) { best = &m; continue; }
    const long long area = static_cast<long long>(m.Width) * m.Height;
    const long long bestArea = static_cast<long long>(best->Width) * best->Height;
    const bool sameSize = m.Width == best->Width && m.Height == best->Height;
    if (area < bestArea || (area == bestArea && m.Width < best->Width) ||
        (sameSize && m.BitCount == want.BitCount && best->BitCount != want.BitCount))
      best = &m;
  }
  if (!best) return std::nullopt;
  return *best;
}

Rect PresentRect(DXDrawOptions effective, const Rect& control, int surfaceW, int surfaceH) {
  if (effective.Has(O::doStretch)) return control;
  Rect r{control.Left, control.Top, control.Left + surfaceW, control.Top + surfaceH};
  if (effective.Has(O::doCenter)) {
    // Integer division truncates toward zero, also for a surface larger than the control.
    const int dx = (control.Right - control.Left - surfaceW) / 2;
    const int dy = (control.Bottom - control.Top - surfaceH) / 2;
    r = Rect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
  }
  return r;
}

}  // namespace tav
