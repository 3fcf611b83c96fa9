// The two renderers the benchmark compares, drawing the same city.
#pragma once

#include <string>

#include "city.h"

namespace bench {

class Renderer {
public:
    virtual ~Renderer() = default;
    virtual bool Ok() const = 0;
    virtual void Frame(int frame) = 0;  // returns with the frame finished
    virtual bool Save(const std::string& path) = 0;
};

// Our device: RGB565 target with a 16-bit depth surface. With `overdraw`
// set, depth testing is off and every written pixel adds 1 to a 32-bit
// target, so the picture counts how often each pixel was drawn.
Renderer* MakeOurs(const City& city, bool overdraw = false);
double MeasureOverdraw(Renderer* counting);
// Mesa's llvmpipe through OSMesa, fixed-function OpenGL.
Renderer* MakeMesa(const City& city, std::string* note);

}  // namespace bench
