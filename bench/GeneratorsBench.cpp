// The start generators at 1025 x 1025: diamond-square (sequential by nature: every point's random
// draw is taken in queue order) and random fault with 30 iterations, whose rows run on all cores.
#include "PlainLoops.h"

#include "engine/Parallel.h"

#include <cstdio>

int main()
{
    const uint32_t side = 1025;
    std::printf("Start generators %u x %u, %u threads\n", side, side, Parallel::ThreadCount());

    std::vector<float> first, second;
    Parallel::SetThreadCount(1);
    const double dsOne = bench::TimeMs(3,
                                       [&]
                                       {
                                           GeneratorRandom random(5);
                                           Generators::DiamondSquare(side, side, 40.0f, 1.0f, random, first);
                                       });
    Parallel::SetThreadCount(0);
    const double dsAll = bench::TimeMs(3,
                                       [&]
                                       {
                                           GeneratorRandom random(5);
                                           Generators::DiamondSquare(side, side, 40.0f, 1.0f, random, second);
                                       });
    bench::Row("diamond-square (1 thread / all)", dsOne, dsAll, bench::SameBits(first, second));

    const auto seeded = []
    {
        GeneratorRandom random(6);
        random.sign = [n = 0]() mutable { return n++ * 7; };
        return random;
    };
    const double rfPlain = bench::TimeMs(3,
                                         [&]
                                         {
                                             GeneratorRandom random = seeded();
                                             first = plain::RandomFault(side, side, 40.0f, 0.5f, 30, random);
                                         });
    const double rfFast =
        bench::TimeMs(5,
                      [&]
                      {
                          GeneratorRandom random = seeded();
                          Generators::RandomFault(side, side, 40.0f, 0.5f, 30, random, second);
                      });
    const bool identical = bench::SameBits(first, second);
    bench::Row("random fault, 30 iterations", rfPlain, rfFast, identical);
    return identical ? 0 : 1;
}
