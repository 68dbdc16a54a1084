#include "app/dpiscale.h"

int ScaleFrom96(int value, unsigned dpi)
{
    const long long scaled = (value < 0 ? -value : value) * static_cast<long long>(dpi);
    const int rounded = int((scaled + kBaseDpi / 2) / kBaseDpi);
    return value < 0 ? -rounded : rounded;
}

ScaledBox ScaleBoxFrom96(int x, int y, int width, int height, unsigned dpi)
{
    const int left = ScaleFrom96(x, dpi);
    const int top = ScaleFrom96(y, dpi);
    return {left, top, ScaleFrom96(x + width, dpi) - left, ScaleFrom96(y + height, dpi) - top};
}
