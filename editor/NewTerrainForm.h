#pragma once
// The New Terrain dialog's values and decisions, kept apart from its widgets so they can be tested.
#include "terrain/Terrain.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct NewTerrainForm
{
    static constexpr const char* kGeneratorLabels[3] = {"Flat", "Diamond-Square algorithm",
                                                        "Random Fault algorithm"};
    // Largest side accepted: a 4097 x 4097 grid already needs about 2 GB for its arrays, textures
    // and GPU copies; the next size the "+" buttons reach (8193) would need about 8 GB.
    static constexpr int kMaxSide = 4097;

    std::string name;
    int generator = 0; // index into kGeneratorLabels
    int width = 65;
    int height = 65;
    float vertexDistance = 1.0f;
    float range = 1.0f;     // diamond-square difference range and random-fault iteration range
    float roughness = 0.5f; // shared by both random generators
    int iterations = 30;

    // Constructor arguments of the terrain "Create" builds.
    struct Arguments
    {
        uint32_t width;
        uint32_t height;
        float vertexDistance;
        Terrain::Generator generator;
        float parameter1;
        float parameter2;
        uint32_t iterations;
    };

    // "-" halves towards 2^(n-1) + 1 and stops at 2; "+" doubles towards 2^(n+1) + 1.
    static int Decrease(int value);
    static int Increase(int value);
    static bool IsPowerOfTwoPlusOne(int side);

    bool IsDiamondSquare() const { return generator == 1; }
    bool IsRandomFault() const { return generator == 2; }

    // The red messages of the current values; an empty text means the check passed.
    // existingNames are the names of the open terrains.
    std::string NameError(const std::vector<std::string>& existingNames) const;
    std::string SideError() const; // diamond-square 2^n + 1 rule
    std::string SizeError() const; // sides too small or too large to build
    bool IsRectangular() const { return !IsDiamondSquare() && width != height; }
    bool CanCreate(const std::vector<std::string>& existingNames) const;

    std::string SizeLine() const; // "Terrain coordinate width x height: ..."
    Arguments BuildArguments() const;
};
