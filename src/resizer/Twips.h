#pragma once

#include <QtGlobal>

// Layouts are given in twips; at 96 dots per inch a pixel is 15 of them.
namespace Twips {

constexpr double PerPixel = 15.0;

inline float fromPixels(int pixels)
{
    return float(pixels * PerPixel);
}

inline int toPixels(double twips)
{
    return qRound(twips / PerPixel);
}

} // namespace Twips
