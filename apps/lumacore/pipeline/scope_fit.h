// The scopes draw a fixed picture, the window the plug-in opens for them; an end that shows them
// in an area of another size enlarges that picture by the largest whole factor that fits (nearest
// neighbour, so that their lines stay sharp) rather than stretching it.
#pragma once

namespace lumacore::cli {

inline constexpr int kScopeWidth = 289; // the scopes' window, as the plug-in opens it
inline constexpr int kScopeHeight = 257;

// The largest whole factor by which the scopes' picture fits into `width` x `height`, at least 1.
int scopeScale(int width, int height);

} // namespace lumacore::cli
