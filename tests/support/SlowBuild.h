#pragma once

// Time bounds in tests are set for the program at full speed. Under ThreadSanitizer every memory
// access is checked and the program (and a tallyport it starts) runs several times slower, so
// bounds of elapsed time stretch by this factor there; what they bound stays the same.
#if defined(TALLYPORT_TSAN)
inline constexpr int SlowBuildFactor = 4;
#else
inline constexpr int SlowBuildFactor = 1;
#endif
