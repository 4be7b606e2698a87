#include "generator/layout_walk.hpp"

#include <emmintrin.h>

namespace tav {

// Two points at a time. A point lies within its ring's radius of the
// centre, and the radius grows by less than one per point, so w + x stays
// far inside the 32-bit range: Round's guards never apply, and its rounding
// is the plain conversion (nearest, ties to even) made here.
void PixelPlacement::Place(const double* x, const double* y, const int32_t* jitterX,
                           const int32_t* jitterY, int32_t count, int32_t* pixelX,
                           int32_t* pixelY) const {
  const __m128d ww = _mm_set1_pd(w), hh = _mm_set1_pd(h);
  // A pixel is parked unless 1 <= px <= width - 2 and 1 <= py <= height - 2.
  const __m128i low = _mm_set1_epi32(1);
  const __m128i highX = _mm_set1_epi32(width - 2), highY = _mm_set1_epi32(height - 2);
  const __m128i parkX = _mm_set1_epi32(width), parkY = _mm_set1_epi32(height);
  int32_t i = 0;
  for (; i + 2 <= count; i += 2) {
    __m128i px = _mm_cvtpd_epi32(_mm_add_pd(ww, _mm_loadu_pd(x + i)));
    __m128i py = _mm_cvtpd_epi32(_mm_add_pd(hh, _mm_loadu_pd(y + i)));
    if (jitterX) {
      px = _mm_add_epi32(px, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(jitterX + i)));
      py = _mm_add_epi32(py, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(jitterY + i)));
    }
    const __m128i parked =
        _mm_or_si128(_mm_or_si128(_mm_cmplt_epi32(py, low), _mm_cmpgt_epi32(py, highY)),
                     _mm_or_si128(_mm_cmplt_epi32(px, low), _mm_cmpgt_epi32(px, highX)));
    px = _mm_or_si128(_mm_and_si128(parked, parkX), _mm_andnot_si128(parked, px));
    py = _mm_or_si128(_mm_and_si128(parked, parkY), _mm_andnot_si128(parked, py));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixelX + i), px);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixelY + i), py);
  }
  if (i < count) {
    int32_t px = Round(w + x[i]);
    int32_t py = Round(h + y[i]);
    if (jitterX) {
      px += jitterX[i];
      py += jitterY[i];
    }
    if (py < 1 || py > height - 2 || px < 1 || px > width - 2) {
      px = width;
      py = height;
    }
    pixelX[i] = px;
    pixelY[i] = py;
  }
}

}  // namespace tav
