#pragma once
// The straightforward frame renderer: one point at a time, exactly in the
// order and arithmetic of the description of a frame. It is kept as the
// reference that any faster renderer must match.
#include "generator/generator.hpp"

namespace tav {

// Colours every point of the frame's layout into its planes.
void RenderReference(const FrameInputs& in);

}  // namespace tav
