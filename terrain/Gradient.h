#pragma once
#include <glm/vec4.hpp>

#include <cstdint>

// One colour band of a terrain: a band of heights (0..255 heightmap units) or of slope degrees.
struct Gradient
{
    int32_t heightSpan = 0;
    int32_t decay = 0; // how far the band may reach randomly into the band below (height mode)
    float slopeSpan = 0.0f;
    glm::vec4 color{1.0f, 0.0f, 1.0f, 1.0f};
    float specular = 0.0f;
};
