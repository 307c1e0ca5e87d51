#pragma once
#include <cstdint>
#include <memory>
#include <string>

class Camera;
class Framebuffer;
class Shader;
class Terrain;

// One 3-D view of the editor: a render target, the camera it is seen through, a shader and a terrain.
class Scene
{
  public:
    explicit Scene(uint32_t sceneId);

    std::string name;
    std::shared_ptr<Camera> camera;
    std::shared_ptr<Framebuffer> framebuffer;
    std::shared_ptr<Shader> shader;
    std::shared_ptr<Terrain> terrain;
    bool isNew = true;
    bool showWindow = false;
    bool showManage = false;
    bool showCameraControl = false;
    bool showTerrainGenerator = false;
    float ratioWidth = 0.0f;
    float ratioHeight = 0.0f;
    bool useBackground = false;
    uint32_t sceneId = 0;
};
