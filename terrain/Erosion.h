#pragma once
// Hydraulic (droplet) and thermal (talus) erosion as plain functions over a W x H height array in
// vertex order (k = i * H + j, i < W along x, j < H along z), heights and vertexDistance in world
// units. Scaling heights and vertexDistance together scales every change with them.
//
// Hydraulic: a droplet starts with speed 1 and water 1 at a random point and moves one vertex
// distance per step along its direction (inertia * old direction - (1 - inertia) * slope). Its
// capacity is max(drop, minSlope * vertexDistance) * speed * water * capacity: above it, or going
// uphill, it drops sediment on its cell's four corners; below it, it takes up to the drop from the
// ground under its erosion brush. Evaporation shrinks the water and with it the capacity, so the
// load settles on the way. What a droplet still carries when it stops inside the grid (out of steps
// or on flat ground) is dropped over its brush: inside the grid material is only moved. What it
// carries over the grid's edge leaves the terrain and is counted in Result::carriedOff.
//
// Thermal: wherever a vertex stands higher above a neighbour than the talus slope allows, it sheds
// strength / 2 of its largest excess per iteration, shared among those neighbours by their excess.
// Each iteration works from the heights before it (outflows first, then the new heights), so the
// volume is kept up to rounding.
//
// Both run on all cores with the same bits for any thread count. Hydraulic droplets go in rounds of
// kDropletsPerRound; within a round the grid is cut into square tiles wider than twice the farthest
// a droplet can reach (TileSide), coloured in a 2 x 2 pattern. The tiles of one colour run in
// parallel, each its droplets in number order; being a whole tile apart, they never touch the same
// vertex, so the result is that of running them one after another. The tiling moves from round to
// round so that no tile edge stays in place. (A grid under two tiles across per colour, from long
// droplet lives, runs on one core.) Thermal iterations split rows over the cores.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace Erosion
{
// Droplet count 0 .. 10,000,000 (huge counts take long, not memory: one round at a time).
// Ranges below are what Clamp enforces; a NaN takes the default, an infinity the nearer bound.
struct HydraulicSettings
{
    int32_t droplets = 250000; // 0 .. 10,000,000
    int32_t seed = 0;          // any value
    float inertia = 0.05f;     // 0 .. 0.99: share of the previous direction kept at each step
    float capacity = 4.0f;     // 0 .. 1000: sediment carried per unit of drop, speed and water
    float deposition = 0.3f;   // 0 .. 1: share of the surplus sediment dropped per step
    float erosion = 0.3f;      // 0 .. 1: share of the free capacity taken from the ground per step
    float evaporation = 0.01f; // 0 .. 1: share of the water lost per step
    int32_t radius = 3;        // 1 .. 8 vertices: erosion brush (1 = the droplet's cell corner only)
    int32_t maxSteps = 32;     // 1 .. 1024 steps of one vertex distance
    float gravity = 4.0f;      // 0 .. 1000: speed gained per unit of slope
    float minSlope = 0.01f;    // 0 .. 10: least slope counted for the capacity (rise / distance)
};

struct ThermalSettings
{
    float talusAngle = 30.0f; // 0 .. 89 degrees: steepest slope that stays, rise over vertexDistance
    int32_t iterations = 50;  // 0 .. 10,000
    float strength = 0.5f;    // 0 .. 1: share of a vertex's largest excess it sheds per iteration (1
                              // levels a pair of vertices to the talus slope at once)
};

enum class Method : int32_t
{
    Hydraulic = 0,
    Thermal = 1
};

// One erosion entry: the method and both settings records (the other one kept for switching back).
struct Settings
{
    Method method = Method::Hydraulic;
    HydraulicSettings hydraulic;
    ThermalSettings thermal;
};

// Brings every field into its range; returns true when something had to change.
bool Clamp(HydraulicSettings& settings);
bool Clamp(ThermalSettings& settings);
bool Clamp(Settings& settings); // an unknown method becomes Hydraulic

// Where the run changed the terrain, one float per vertex in vertex order: removed and deposited are
// the net height change split by sign (before - after, after - before, each at least 0), flow the
// water that passed over each vertex (droplet water summed at every step's cell corner; all 0 for
// thermal erosion).
struct Masks
{
    std::vector<float> removed;
    std::vector<float> deposited;
    std::vector<float> flow;
};

// RGB bytes for a mask texture (3 per vertex): red removed, green deposited, blue flow, each channel
// 255 * sqrt(value / largest value of the channel), rounded (the square root keeps faint channels
// visible beside deep ones); a channel that is all 0 stays 0.
void MaskImage(const Masks& masks, size_t vertexCount, uint8_t* rgb);

enum class Status
{
    Done,
    Cancelled, // the progress callback returned false: heights unchanged, masks empty
    Refused    // bad grid (see below): heights unchanged, masks empty
};

struct Result
{
    Status status = Status::Done;
    double removed = 0.0;    // sum of the removed mask (net volume lowered / vertex area)
    double deposited = 0.0;  // sum of the deposited mask
    double carriedOff = 0.0; // hydraulic: sediment carried over the grid's edge
};

// A grid that is a window of a larger world (terrain/World.h): the world index of its vertex (0, 0).
// Hydraulic droplets then start at places fixed in the world rather than in the grid: in every
// round each block of kAnchorBlock x kAnchorBlock world cells gets its share of the droplets (their
// number per cell is the grid's droplets over its cells) at positions drawn from the block's world
// index, on a 1/256 lattice that floats hold exactly, and the droplet tiling is laid from the world's
// index too. Two overlapping windows with the same density run the same droplets in the same order
// where they overlap; what differs comes in from their edges.
struct Anchor
{
    bool world = false;
    int64_t i = 0;
    int64_t j = 0;

    bool operator==(const Anchor& o) const { return world == o.world && i == o.i && j == o.j; }
};
inline constexpr uint32_t kAnchorBlock = 16;

// Called on the calling thread between parallel phases with the fraction done (0 .. 1); returning
// false stops the run, which then restores the heights. May be empty.
using Progress = std::function<bool(float fraction)>;

// Droplets per round: the unit in which the work is scheduled and the progress reported.
inline constexpr int32_t kDropletsPerRound = 16384;

// Both erode heights in place. Settings are clamped first. A grid narrower than 2 vertices either
// way is left as it is (Done). Refused, with a logged warning: heights null, a side over 2^20 or more
// than 2^31 vertices, or a vertexDistance that is not finite and positive. masks, when given, is
// resized to width * height per channel and filled. Progress is reported after each colour of each
// hydraulic round and after each thermal iteration.
Result Hydraulic(float* heights, uint32_t width, uint32_t height, float vertexDistance,
                 const HydraulicSettings& settings, Masks* masks = nullptr, const Progress& progress = {},
                 const Anchor& anchor = {});
Result Thermal(float* heights, uint32_t width, uint32_t height, float vertexDistance,
               const ThermalSettings& settings, Masks* masks = nullptr, const Progress& progress = {});
// The method the settings name.
Result Erode(float* heights, uint32_t width, uint32_t height, float vertexDistance, const Settings& settings,
             Masks* masks = nullptr, const Progress& progress = {}, const Anchor& anchor = {});

// Shared with the plain reference loops (bench/PlainErosion.h), which must make the same draws.
namespace detail
{
// Droplet n's start, in grid units: i in [0, W - 1), j in [0, H - 1).
void DropletStart(int32_t seed, uint64_t n, uint32_t width, uint32_t height, float& i, float& j);
// An anchored grid's droplet starts of one round (Anchor), in grid units, in world order.
void AnchoredStarts(int32_t seed, uint64_t round, double perBlock, int64_t firstI, int64_t firstJ,
                    uint32_t width, uint32_t height, std::vector<float>& startI, std::vector<float>& startJ);
// Tile side of the droplet tiling for these (clamped) settings.
int32_t TileSide(int32_t maxSteps, int32_t radius);
// Offset of round r's tiling, in vertices (0 .. tileSide - 1).
int32_t RoundOffset(int32_t seed, uint64_t round, int32_t tileSide);
// The talus limit of a neighbour one vertex distance away and of a diagonal neighbour, in height.
void TalusLimits(float talusAngle, float vertexDistance, float& straight, float& diagonal);
} // namespace detail
} // namespace Erosion
