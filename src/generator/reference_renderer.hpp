#pragma once
// The straightforward frame renderer: one point at a time, exactly in the
// order and arithmetic of the description of a frame. It is kept as the
// reference that any faster renderer must match.
namespace tav {

class PatternGenerator;

// Advances the wave parameters by one frame and colours every point of the
// current layout into the planes of g.
void RenderReference(PatternGenerator& g);

}  // namespace tav
