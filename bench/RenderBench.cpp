// Times the renderer paths that run per edit or per frame: a full texture re-upload after a brush
// stroke, uniform lookups through the location cache against asking GL, and one frame of the
// command queue. Needs a display (run under xvfb-run -a).
#include "engine/Engine.h"
#include "render/Camera.h"
#include "render/Framebuffer.h"
#include "render/Mesh.h"
#include "render/RenderManager.h"
#include "render/Shader.h"
#include "render/Texture.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace
{
void BM_TextureUpdate(benchmark::State& state)
{
    const auto size = static_cast<uint32_t>(state.range(0));
    const auto channels = static_cast<uint32_t>(state.range(1));
    Texture texture(size, size, channels, false, GL_LINEAR);
    for (auto _ : state)
    {
        texture.data[0]++;
        texture.Update();
        glFinish(); // the upload itself, not just its queueing
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(texture.ByteSize()));
}
BENCHMARK(BM_TextureUpdate)->Args({513, 1})->Args({513, 3})->Args({1024, 4})->Unit(benchmark::kMicrosecond);

const char* const kUniforms[] = {"Mmatrix",          "normalMatrix",      "Pmatrix",
                                 "Vmatrix",          "viewPos",           "material.ambient",
                                 "material.diffuse", "material.specular", "material.shininess",
                                 "useTexture",       "texSampler"};

void BM_UniformLookupCached(benchmark::State& state)
{
    Shader shader("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    for (auto _ : state)
        for (const char* name : kUniforms)
            benchmark::DoNotOptimize(shader.GetUniformLocation(name));
}
BENCHMARK(BM_UniformLookupCached);

// The reference: asking GL every time, as an uncached lookup would.
void BM_UniformLookupGL(benchmark::State& state)
{
    Shader shader("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    for (auto _ : state)
        for (const char* name : kUniforms)
            benchmark::DoNotOptimize(glGetUniformLocation(shader.program, name));
}
BENCHMARK(BM_UniformLookupGL);

// One scene frame: push target and camera, draw a 257 x 257 grid object, pop both.
void BM_SceneFrame(benchmark::State& state)
{
    const uint32_t side = 257;
    auto shader = std::make_shared<Shader>("shaders/basic_lighting.vert", "shaders/basic_lighting.frag");
    auto object = std::make_shared<Object>();
    std::vector<float> positions, normals, texCoords;
    std::vector<uint32_t> indices;
    for (uint32_t i = 0; i < side; ++i)
        for (uint32_t j = 0; j < side; ++j)
        {
            positions.insert(positions.end(), {i - side / 2.0f, 0.0f, j - side / 2.0f});
            normals.insert(normals.end(), {0.0f, 1.0f, 0.0f});
            texCoords.insert(texCoords.end(), {i / float(side - 1), j / float(side - 1)});
        }
    for (uint32_t i = 0; i + 1 < side; ++i)
        for (uint32_t j = 0; j + 1 < side; ++j)
        {
            const uint32_t k = i * side + j;
            indices.insert(indices.end(), {k, k + 1, k + side, k + 1, k + side + 1, k + side});
        }
    MeshGeometry& mesh = *object->mesh;
    mesh.vertexCount = side * side;
    mesh.indexCount = static_cast<uint32_t>(indices.size());
    mesh.UpdateVertices(positions.data());
    mesh.UpdateNormals(normals.data());
    mesh.UpdateTexCoords(texCoords.data());
    mesh.UpdateIndices(indices.data());
    Texture texture(side, side, 1, false, GL_LINEAR);
    MeshEntry entry;
    entry.ambient = entry.diffuse = glm::vec3(1.0f);
    entry.specular = glm::vec3(0.1f);
    entry.shininess = 1.0f;
    entry.texture = texture.id;
    entry.indexCount = mesh.indexCount;
    mesh.entries.push_back(entry);
    object->SetGeometry(object->mesh, shader);

    auto target = std::make_shared<Framebuffer>(640, 360);
    auto camera = std::make_shared<Camera>();
    camera->position = {0.0f, 60.0f, -150.0f};
    camera->Update(0.0);
    RenderManager& manager = Engine::Get().renderManager;
    for (auto _ : state)
    {
        manager.Submit(std::make_unique<PushFramebuffer>(target));
        manager.Submit(std::make_unique<PushCamera>(camera));
        manager.Submit(std::make_unique<RenderObject>(object, shader));
        manager.Submit(std::make_unique<PopCamera>());
        manager.Submit(std::make_unique<PopFramebuffer>());
        manager.Flush();
        glFinish();
    }
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (!glfwInit())
    {
        std::fprintf(stderr, "RenderBench needs a display (run it under xvfb-run -a)\n");
        return 1;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(640, 360, "RenderBench", nullptr, nullptr);
    if (window == nullptr) return 1;
    glfwMakeContextCurrent(window);
    if (glewInit() != GLEW_OK) return 1;
    glEnable(GL_DEPTH_TEST);
    Engine::Get().window.handle = window;
    Engine::Get().window.width = 640;
    Engine::Get().window.height = 360;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    Engine::Get().window.handle = nullptr;
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
