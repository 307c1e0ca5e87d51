// Draws the window icon: a small terrain silhouette with a lake under a sky, written as a PNG.
#include <stb_image_write.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 1;
    }
    const int size = 64;
    std::vector<unsigned char> pixels(size * size * 4);
    for (int y = 0; y < size; ++y)
    {
        for (int x = 0; x < size; ++x)
        {
            const float fx = static_cast<float>(x) / (size - 1);
            const float ridge = 0.55f + 0.18f * std::sin(fx * 7.0f) + 0.08f * std::sin(fx * 19.0f + 1.0f);
            const float fy = 1.0f - static_cast<float>(y) / (size - 1); // 0 at the bottom
            unsigned char* p = &pixels[(y * size + x) * 4];
            if (fy < 0.22f)
            { // lake
                p[0] = 40, p[1] = 90, p[2] = 200;
            }
            else if (fy < ridge)
            { // ground: green low, grey high, white caps
                const float t = fy / ridge;
                if (fy > 0.72f)
                    p[0] = 240, p[1] = 240, p[2] = 245;
                else
                    p[0] = static_cast<unsigned char>(60 + 90 * t),
                    p[1] = static_cast<unsigned char>(140 - 30 * t),
                    p[2] = static_cast<unsigned char>(50 + 60 * t);
            }
            else
            { // sky
                p[0] = 135, p[1] = 205, p[2] = 235;
            }
            p[3] = 255;
        }
    }
    if (!stbi_write_png(argv[1], size, size, 4, pixels.data(), size * 4))
    {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
