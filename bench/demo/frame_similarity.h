// Reads captured frames and compares them: the structural similarity (SSIM)
// of an enhanced frame, box-filtered down to the faithful size, against the
// faithful frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // RGB, tightly packed
};

bool ReadPng(const std::string& path, Rgb* out);
// Averages factor x factor blocks (the width and height must divide).
Rgb BoxDown(const Rgb& in, int factor);
// Mean SSIM of the luma over 8x8 windows every 4 pixels; 1 for equal pictures.
double Ssim(const Rgb& a, const Rgb& b);

}  // namespace bench
