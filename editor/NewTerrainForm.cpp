#include "editor/NewTerrainForm.h"

#include "terrain/TerrainName.h"

#include <cmath>
#include <cstdio>

int NewTerrainForm::Decrease(int value)
{
    const int next = static_cast<int>(static_cast<float>(value) - static_cast<float>(value - 1) * 0.5f);
    return next < 2 ? 2 : next;
}

int NewTerrainForm::Increase(int value)
{
    // Wide arithmetic: a huge typed value must not overflow; SizeError refuses what is too large.
    const long long next = static_cast<long long>(value) * 2 - 1;
    return next > (1 << 30) ? (1 << 30) : static_cast<int>(next);
}

bool NewTerrainForm::IsPowerOfTwoPlusOne(int side)
{
    if (side < 2) return false;
    const double exponent = std::log2(static_cast<double>(side - 1));
    return exponent == static_cast<double>(static_cast<int32_t>(exponent));
}

std::string NewTerrainForm::NameError(const std::vector<std::string>& existingNames) const
{
    if (std::string problem = TerrainName::Problem(name); !problem.empty()) return problem;
    for (const std::string& existing : existingNames)
        if (existing == name) return "Terrain with the same name exists already.";
    return {};
}

std::string NewTerrainForm::SideError() const
{
    if (IsDiamondSquare() && !IsPowerOfTwoPlusOne(width))
        return "Terrain width (vertex count) has to be 2^n + 1, height equals width.";
    return {};
}

std::string NewTerrainForm::SizeError() const
{
    const int h = IsDiamondSquare() ? width : height;
    if (width < 2 || h < 2) return "Terrain width and height have to be at least 2.";
    if (IsDiamondSquare() && width < 3) return "Diamond-square terrains have to be at least 3 x 3.";
    if (width > kMaxSide || h > kMaxSide)
        return "Terrain width and height can be at most " + std::to_string(kMaxSide) + ".";
    return {};
}

bool NewTerrainForm::CanCreate(const std::vector<std::string>& existingNames) const
{
    return NameError(existingNames).empty() && SideError().empty() && SizeError().empty() && !IsRectangular();
}

std::string NewTerrainForm::SizeLine() const
{
    char text[128];
    std::snprintf(
        text, sizeof text, "Terrain coordinate width x height: %.2f x %.2f",
        static_cast<double>(static_cast<float>(width) * vertexDistance),
        static_cast<double>(static_cast<float>(IsDiamondSquare() ? width : height) * vertexDistance));
    return text;
}

NewTerrainForm::Arguments NewTerrainForm::BuildArguments() const
{
    const uint32_t w = static_cast<uint32_t>(width);
    const uint32_t h = static_cast<uint32_t>(IsDiamondSquare() ? width : height);
    switch (generator)
    {
    case 1:
        return {w, h, vertexDistance, Terrain::Generator::DiamondSquare, range, roughness, 0};
    case 2:
        return {w,
                h,
                vertexDistance,
                Terrain::Generator::RandomFault,
                range,
                roughness * 0.01f,
                static_cast<uint32_t>(iterations < 0 ? 0 : iterations)};
    default:
        return {w, h, vertexDistance, Terrain::Generator::Flat, 10.0f, 0.5f, 0};
    }
}
