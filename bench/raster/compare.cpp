#include <cmath>
#include <cstdlib>
#include <limits>

#include "renderers.h"

namespace bench {

Difference Compare(const Picture& a, const Picture& b) {
    Difference d;
    const size_t n = (size_t)a.width * a.height;
    if (a.width != b.width || a.height != b.height || a.rgb.size() != n * 3 || b.rgb.size() != n * 3 || n == 0) {
        d.psnr = 0;
        d.over8 = 1;
        return d;
    }
    double squares = 0;
    size_t over = 0;
    for (size_t i = 0; i < n; ++i) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) {
            int e = std::abs((int)a.rgb[i * 3 + c] - (int)b.rgb[i * 3 + c]);
            squares += (double)e * e;
            if (e > worst) worst = e;
        }
        if (worst > 8) ++over;
    }
    d.identical = squares == 0;
    d.psnr = d.identical ? std::numeric_limits<double>::infinity()
                         : 10.0 * std::log10(255.0 * 255.0 / (squares / ((double)n * 3)));
    d.over8 = (double)over / (double)n;
    return d;
}

}  // namespace bench
