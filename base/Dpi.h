// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// The layout's figures are pixels at 96 dots per inch, where one pixel is
// one device-independent pixel (the Qt build's unit). A window shown at
// another resolution scales them with atDpi().
constexpr int kBaseDpi = 96;

// pixels laid out at fromDpi as pixels at toDpi, to the nearest pixel
// (halves away from zero); a resolution of 0 or less leaves them as they are.
constexpr int rescaled(int pixels, int fromDpi, int toDpi)
{
    if (fromDpi <= 0 || toDpi <= 0 || fromDpi == toDpi)
        return pixels;
    const long long product = static_cast<long long>(pixels) * toDpi;
    const long long half = fromDpi / 2;
    return static_cast<int>((product + (product < 0 ? -half : half)) / fromDpi);
}

// pixels at 96 DPI as pixels at dpi.
constexpr int atDpi(int pixels, int dpi)
{
    return rescaled(pixels, kBaseDpi, dpi);
}

// pixels at dpi as pixels at 96 DPI: what a window stores of its sizes.
constexpr int fromDpi(int pixels, int dpi)
{
    return rescaled(pixels, dpi, kBaseDpi);
}

} // namespace vigilon
