// An axis-aligned box as 24 ready-made vertices with a material of its own.
#pragma once

#include "util/types.h"

class BoxPrimitive {
public:
    BoxPrimitive(float originX, float originY, float originZ, float sizeX, float sizeY, float sizeZ);
    virtual ~BoxPrimitive();
    BoxPrimitive(const BoxPrimitive&) = delete;
    BoxPrimitive& operator=(const BoxPrimitive&) = delete;

    void SetDiffuseColor(float red, float green, float blue, float alpha);
    void SetAmbientColor(float red, float green, float blue, float alpha);
    void SetSpecularColor(float red, float green, float blue, float alpha, float power);

    Vertex* vertices;
    Material material;

    static constexpr int kVertexCount = 24;
};
