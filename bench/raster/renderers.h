// The two renderers the benchmark compares, drawing the same city.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "city.h"

namespace bench {

// The target both sides draw into: 16-bit colour is RGB565, 32-bit is
// 8 bits a channel (XRGB8888 for ours, BGRA for llvmpipe: the same bytes).
struct Target {
    int width = 640, height = 480;
    int colourBits = 16, depthBits = 16;
};

// 8-bit RGB, rows top to bottom, tightly packed.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

class Renderer {
public:
    virtual ~Renderer() = default;
    virtual bool Ok() const = 0;
    virtual void Frame(int frame) = 0;  // returns with the frame finished
    virtual Picture Read() const = 0;
};

// Our device. With `overdraw` set, depth testing is off and every written
// pixel adds 1 to a 32-bit target, so the picture counts how often each
// pixel was drawn.
Renderer* MakeOurs(const City& city, const Target& target, bool overdraw = false);
double MeasureOverdraw(Renderer* counting);
// Mesa's llvmpipe through OSMesa, fixed-function OpenGL. *note says which
// colour format it got.
Renderer* MakeMesa(const City& city, const Target& target, std::string* note);

// How far apart two pictures of one size are: PSNR over the three channels
// (infinite when equal) and the share of pixels with a channel more than 8
// levels off.
struct Difference {
    double psnr = 0;
    double over8 = 0;
    bool identical = false;
};
Difference Compare(const Picture& a, const Picture& b);

}  // namespace bench
