// The window is laid out in pixels at 96 DPI; on another DPI every position
// and size is scaled from there.
#pragma once

const unsigned kBaseDpi = 96;

// `value` (pixels at 96 DPI) at `dpi`, rounded to the nearest pixel, halves
// away from zero (a negative font height stays negative).
int ScaleFrom96(int value, unsigned dpi);

struct ScaledBox {
    int x, y, width, height;
};

// A rectangle given at 96 DPI by its position and size, at `dpi`. Its edges
// are scaled, not its size, so controls that touch or line up at 96 DPI
// still do.
ScaledBox ScaleBoxFrom96(int x, int y, int width, int height, unsigned dpi);
