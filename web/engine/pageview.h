#pragma once

#include <QSize>

// The window's browser. Every album page is rendered at this size, shown or not, so that a page
// lays out and scrolls, and a lazy gallery grows, as it does in the window.
inline constexpr QSize pageViewSize(297, 153);
