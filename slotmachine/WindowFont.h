#pragma once

namespace sm {

// The window's font, which the companion's diagrams name too: a sans family whose narrow widths
// the fixed layout expects, at 11 px (8 points at 96 dots per inch).
inline constexpr const char* WindowFontFamily = "Liberation Sans";
inline constexpr int WindowFontPixels = 11;

} // namespace sm
