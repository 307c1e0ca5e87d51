#include "bench/PlainErosion.h"
#include "engine/Parallel.h"
#include "terrain/Erosion.h"
#include "tests/terrain/TerrainTestSupport.h"

#include <climits>

namespace
{
using terraintest::SameBits;

// Non-square grids at a vertex distance other than 1, so that swapped axes or a missing distance show.
constexpr uint32_t kW = 96, kH = 72;
constexpr float kDistance = 0.5f;

std::vector<float> Shape(uint32_t W, uint32_t H, const std::function<float(float x, float z)>& height)
{
    std::vector<float> h(size_t{W} * H);
    for (uint32_t i = 0; i < W; ++i)
        for (uint32_t j = 0; j < H; ++j)
            h[size_t{i} * H + j] =
                height(static_cast<float>(i) * kDistance, static_cast<float>(j) * kDistance);
    return h;
}

// A cone of slope 1.2 and radius 10 off centre on a flat plain; a ramp of slope 0.6 down to a plain.
std::vector<float> Cone()
{
    return Shape(kW, kH,
                 [](float x, float z)
                 { return std::max(0.0f, 1.2f * (10.0f - std::hypot(x - 20.0f, z - 18.0f))); });
}
std::vector<float> Ramp()
{
    return Shape(kW, kH, [](float x, float) { return std::max(0.0f, 0.6f * (28.0f - x)); });
}

Erosion::HydraulicSettings SmallHydraulic()
{
    Erosion::HydraulicSettings s{20000, 7};
    s.maxSteps = 24;
    return s;
}

// Material moves downhill: the vertices above half the peak height lose on average, the rest gain.
// Volume: inside the grid material is only moved, so sum(after) = sum(before) - carriedOff up to float
// rounding: within 1e-4 of the material moved plus 1e-6 of the volume (measured: under 3e-5 and 1e-7).
TEST(ErosionTest, MaterialMovesDownAndTheVolumeIsKept)
{
    using Erosion::Method;
    const std::pair<std::vector<float> (*)(), Method> cases[] = {{Cone, Method::Hydraulic},
                                                                 {Ramp, Method::Hydraulic},
                                                                 {Cone, Method::Thermal},
                                                                 {Ramp, Method::Thermal}};
    for (const auto& [shape, method] : cases)
    {
        SCOPED_TRACE(testing::Message() << (method == Method::Thermal ? "thermal " : "hydraulic ")
                                        << (shape == Cone ? "cone" : "ramp"));
        const std::vector<float> before = shape();
        std::vector<float> h = before;
        // Thermal: the default talus angle, 200 iterations.
        const Erosion::Result result =
            Erosion::Erode(h.data(), kW, kH, kDistance, {method, SmallHydraulic(), {30.0f, 200}});
        ASSERT_EQ(result.status, Erosion::Status::Done);

        const float peak = *std::max_element(before.begin(), before.end());
        double upper = 0.0, lower = 0.0;
        size_t upperCount = 0;
        for (size_t k = 0; k < h.size(); ++k)
        {
            const bool high = before[k] > 0.5f * peak;
            (high ? upper : lower) += h[k] - before[k];
            upperCount += high;
        }
        EXPECT_LT(upper / static_cast<double>(upperCount), -1e-3);
        EXPECT_GT(lower / static_cast<double>(h.size() - upperCount), 1e-4);
        EXPECT_GT(result.removed, 1.0);

        const double sumBefore = std::accumulate(before.begin(), before.end(), 0.0);
        const double sumAfter = std::accumulate(h.begin(), h.end(), 0.0);
        EXPECT_NEAR(sumAfter, sumBefore - result.carriedOff, 1e-4 * result.removed + 1e-6 * sumBefore);
        EXPECT_NEAR(result.deposited - result.removed, sumAfter - sumBefore, 1e-6 * result.removed);
    }
}

// Once settled, no neighbour pair (straight or diagonal) is steeper than the talus slope by over 1 %.
TEST(ErosionTest, ThermalErosionLeavesNoSlopeAboveTheTalusAngle)
{
    for (float talus : {20.0f, 40.0f})
    {
        const uint32_t W = 41, H = 29;
        std::vector<float> h = Shape(
            W, H, [](float x, float z) { return (x > 9.0f ? 6.0f : 0.0f) + 1.5f * std::fabs(z - 7.0f); });
        ASSERT_EQ(Erosion::Thermal(h.data(), W, H, kDistance, {talus, 4000, 1.0f}).status,
                  Erosion::Status::Done);
        const double limit = std::tan(talus * M_PI / 180.0) * 1.01;
        double steepest = 0.0;
        for (int64_t i = 0; i < W; ++i)
            for (int64_t j = 0; j < H; ++j)
                for (int64_t a = 0; a <= 1; ++a)
                    for (int64_t b = -1; b <= 1; ++b)
                        if ((a == 1 || b == 1) && i + a < W && j + b >= 0 && j + b < H)
                            steepest =
                                std::max<double>(steepest, std::fabs(h[i * H + j] - h[(i + a) * H + j + b]) /
                                                               (kDistance * std::hypot(a, b)));
        EXPECT_LE(steepest, limit) << talus;
        EXPECT_GT(steepest, limit * 0.9) << talus; // the slopes settle at the talus, not far below it
    }
}

// The same bits, heights and flow, on any number of threads, and as the plain single-threaded loops;
// another seed gives other heights. The grid holds several tiles of each colour.
TEST(ErosionTest, SameSeedGivesTheSameBitsOnAnyThreadCountAndAsThePlainLoops)
{
    const uint32_t W = 150, H = 110;
    const std::vector<float> start = Shape(
        W, H, [](float x, float z) { return 4.0f * std::sin(0.21f * x) * std::cos(0.17f * z) + 0.1f * x; });
    Erosion::HydraulicSettings hs = SmallHydraulic();
    hs.droplets = 40000; // three rounds, the last one short
    hs.maxSteps = 8;
    hs.radius = 2;
    const Erosion::ThermalSettings ts{25.0f};

    std::vector<float> plainHydraulic = start, plainThermal = start;
    plain::HydraulicErosion(plainHydraulic, W, H, kDistance, hs);
    plain::ThermalErosion(plainThermal, W, H, kDistance, ts);
    std::vector<float> referenceFlow;
    for (unsigned threads : {1u, 2u, 4u})
    {
        Parallel::SetThreadCount(threads);
        std::vector<float> h = start, t = start;
        Erosion::Masks masks;
        Erosion::Hydraulic(h.data(), W, H, kDistance, hs, &masks);
        Erosion::Thermal(t.data(), W, H, kDistance, ts);
        EXPECT_TRUE(SameBits(h, plainHydraulic) && SameBits(t, plainThermal)) << threads;
        if (referenceFlow.empty()) referenceFlow = masks.flow;
        EXPECT_TRUE(SameBits(masks.flow, referenceFlow)) << threads;
    }
    Parallel::SetThreadCount(0);
    EXPECT_FALSE(SameBits(start, plainHydraulic));
    std::vector<float> other = start;
    hs.seed = 8;
    Erosion::Hydraulic(other.data(), W, H, kDistance, hs);
    EXPECT_FALSE(SameBits(other, plainHydraulic));
}

// Clamp brings bad settings into range. Bad values also reach the runs unclamped, huge counts are stopped
// through the progress callback, and non-finite heights run through: no crash (the sanitizer build runs
// this too), a cancelled run leaves the heights as they were.
TEST(ErosionTest, BadSettingsAreClampedAndBadSettingsGridsAndHeightsRunWithoutHarm)
{
    const float nan = std::nanf(""), inf = INFINITY;
    Erosion::HydraulicSettings h{INT_MAX, -5, nan, -inf, inf, -1.0f, 2.0f, -3, INT_MAX, nan, 1e30f};
    EXPECT_TRUE(Erosion::Clamp(h));
    const Erosion::HydraulicSettings d;
    EXPECT_EQ(std::tie(h.droplets, h.seed, h.inertia, h.capacity, h.deposition, h.erosion, h.evaporation,
                       h.radius, h.maxSteps, h.gravity, h.minSlope),
              std::make_tuple(10000000, -5, d.inertia, 0.0f, 1.0f, 0.0f, 1.0f, 1, 1024, d.gravity, 10.0f));
    EXPECT_FALSE(Erosion::Clamp(h)); // in range now

    Erosion::Settings s{static_cast<Erosion::Method>(7), {}, {inf, -1, nan}};
    EXPECT_TRUE(Erosion::Clamp(s));
    EXPECT_EQ(std::tie(s.method, s.thermal.talusAngle, s.thermal.iterations, s.thermal.strength),
              std::make_tuple(Erosion::Method::Hydraulic, 89.0f, 0, Erosion::ThermalSettings{}.strength));
    Erosion::Settings defaults;
    EXPECT_FALSE(Erosion::Clamp(defaults));

    const std::vector<float> cone = Cone();
    for (const Erosion::HydraulicSettings& s :
         {Erosion::HydraulicSettings{300, 1, inf, inf, nan, inf, -inf, INT_MAX, INT_MAX, inf, nan},
          Erosion::HydraulicSettings{300, 1, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, INT_MIN, INT_MIN, -1.0f,
                                     -inf}})
        EXPECT_EQ(Erosion::Hydraulic(std::vector<float>(cone).data(), kW, kH, kDistance, s).status,
                  Erosion::Status::Done);

    int calls = 0;
    const Erosion::Progress stopSoon = [&](float) { return ++calls < 3; };
    Erosion::Masks masks;
    std::vector<float> y = cone;
    EXPECT_EQ(Erosion::Hydraulic(y.data(), kW, kH, kDistance, {INT_MAX}, &masks, stopSoon).status,
              Erosion::Status::Cancelled);
    EXPECT_TRUE(SameBits(y, cone) && masks.flow.empty());
    calls = 0;
    EXPECT_EQ(Erosion::Thermal(y.data(), kW, kH, kDistance, {nan, INT_MAX, inf}, &masks, stopSoon).status,
              Erosion::Status::Cancelled);
    EXPECT_TRUE(SameBits(y, cone));

    testsupport::LogCapture log;
    for (float distance : {0.0f, -1.0f, nan, inf})
        for (const Erosion::Method method : {Erosion::Method::Hydraulic, Erosion::Method::Thermal})
            EXPECT_EQ(Erosion::Erode(y.data(), kW, kH, distance, {method}).status, Erosion::Status::Refused);
    EXPECT_TRUE(SameBits(y, cone));
    EXPECT_EQ(Erosion::Hydraulic(nullptr, kW, kH, 1.0f, {}).status, Erosion::Status::Refused);
    EXPECT_EQ(log.Records().size(), 9u);
    EXPECT_EQ(Erosion::Thermal(y.data(), 1, kH, 1.0f, {}).status, Erosion::Status::Done); // one row: no work
    EXPECT_TRUE(SameBits(y, cone));

    for (const auto& [w, h] : {std::pair{2u, 2u}, std::pair{2u, 9u}, std::pair{9u, 2u}, std::pair{3u, 3u}})
    {
        std::vector<float> tiny =
            Shape(w, h, [](float x, float z) { return std::fmod(2.0f * x + 6.0f * z, 5.0f); });
        EXPECT_EQ(Erosion::Hydraulic(tiny.data(), w, h, 1.0f, SmallHydraulic()).status,
                  Erosion::Status::Done);
        EXPECT_EQ(Erosion::Thermal(tiny.data(), w, h, 1.0f, {}).status, Erosion::Status::Done);
    }
    for (float bad : {nan, inf, -inf})
    {
        std::vector<float> holes = cone;
        holes[30 * kH + 20] = bad;
        holes[0] = bad;
        Erosion::Hydraulic(holes.data(), kW, kH, kDistance, SmallHydraulic());
        Erosion::Thermal(holes.data(), kW, kH, kDistance, {});
    }
}

// Hydraulic: two rounds of four colours; thermal: a report per iteration.
TEST(ErosionTest, ProgressRisesToOneAndMasksBecomeBytes)
{
    Erosion::Settings s{Erosion::Method::Hydraulic, SmallHydraulic(), {30.0f, 3}}; // the default talus angle
    s.hydraulic.droplets = Erosion::kDropletsPerRound + 1;
    for (const auto& [method, reports] :
         {std::pair{Erosion::Method::Hydraulic, 8u}, {Erosion::Method::Thermal, 3u}})
    {
        std::vector<float> fractions, h = Cone();
        s.method = method;
        Erosion::Erode(h.data(), kW, kH, kDistance, s, nullptr,
                       [&](float f) { return fractions.push_back(f), true; });
        ASSERT_EQ(fractions.size(), reports);
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()) && fractions.front() > 0.0f &&
                    fractions.back() == 1.0f);
    }

    // removed: 0, 1, 4 (the largest); deposited: all 0; flow: 9 (the largest) and a NaN.
    const Erosion::Masks small{{0.0f, 1.0f, 4.0f}, {0.0f, 0.0f, 0.0f}, {9.0f, std::nanf(""), 2.25f}};
    std::vector<uint8_t> rgb(9);
    Erosion::MaskImage(small, 3, rgb.data());
    EXPECT_EQ(rgb, (std::vector<uint8_t>{0, 0, 255, 128, 0, 0, 255, 0, 128}));
}
} // namespace
