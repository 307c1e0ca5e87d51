#pragma once
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class Shader;

// One material group of a mesh: drawn as indexCount indices from firstIndex.
struct MeshEntry
{
    // The record every mesh of the program uses: white, a faint specular, the whole index range.
    static MeshEntry Whole(uint32_t indexCount, uint32_t texture = 0);

    glm::vec3 ambient{0.0f};
    glm::vec3 diffuse{0.0f};
    glm::vec3 specular{0.0f};
    float shininess = 0.0f;
    uint32_t texture = 0; // GL texture name, 0 for none
    uint32_t indexCount = 0;
    uint32_t firstIndex = 0;
    int32_t baseVertex = 0;
    // Drawn repeat times, the base vertex advancing by repeatStride each time: a grid whose rows of
    // cells differ only by their first vertex keeps one row of indices.
    uint32_t repeat = 1;
    int32_t repeatStride = 0;
    bool lineStrip = false; // its indices are one strip of lines, not triangles (the brush circle)
};

// An indexed triangle mesh in GL buffers. The owner sets vertexCount and indexCount, then uploads;
// the arrays passed in stay the caller's.
class MeshGeometry
{
  public:
    MeshGeometry();
    ~MeshGeometry();
    MeshGeometry(const MeshGeometry&) = delete;
    MeshGeometry& operator=(const MeshGeometry&) = delete;

    void UpdateVertices(const float* positions);  // vertexCount * 3 floats
    void UpdateNormals(const float* normals);     // vertexCount * 3 floats
    void UpdateTexCoords(const float* texCoords); // vertexCount * 2 floats
    void UpdateIndices(const uint32_t* indices);  // indexCount indices; a bound vertex array keeps its own
    // Sets both counts and uploads all four arrays. Empty arrays are fine (an empty mesh).
    void UploadAll(uint32_t vertices, uint32_t indexTotal, const float* positions, const float* normals,
                   const float* texCoords, const uint32_t* indices);

    // One array uploaded in parts (a large terrain's, over several frames): AllocateArray gives it
    // storage for the current counts, its contents undefined until WriteArray has filled every byte.
    enum class Array
    {
        Positions,
        Normals,
        TexCoords,
        Indices
    };
    size_t ArrayBytes(Array array) const;
    void AllocateArray(Array array);
    void WriteArray(Array array, size_t firstByte, size_t bytes, const void* data);
    // Parts of an array sent again after they changed in place (a terrain's edited rows): each run is
    // (first byte, byte count) of the whole array, which base points at.
    struct Run
    {
        size_t firstByte = 0;
        size_t bytes = 0;
    };
    void WriteRuns(Array array, const std::vector<Run>& runs, const void* base);

    std::vector<MeshEntry> entries;
    uint32_t vertexBuffer = 0;
    uint32_t indexBuffer = 0;
    uint32_t normalBuffer = 0;
    uint32_t texCoordBuffer = 0;
    uint32_t vertexCount = 0;
    uint32_t indexCount = 0;
    bool hasNormals = false;
    bool hasTexCoords = false;
};

// A drawable: model matrix, vertex array and mesh. The object owns the mesh it was created with
// (and any mesh given to SetMesh); SetGeometry only points the attributes at a shader.
class Object
{
  public:
    Object();
    virtual ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Records the mesh's attribute bindings for this shader's program in the vertex array.
    void SetGeometry(MeshGeometry* geometry, const std::shared_ptr<Shader>& shader);
    // Sets the material uniforms and draws; the shader's program must be current.
    void Draw(const std::shared_ptr<Shader>& shader);
    // Replaces the owned mesh (and the mesh pointer) with a new one.
    void SetMesh(std::unique_ptr<MeshGeometry> geometry);

    glm::mat4 model{1.0f};
    MeshGeometry* mesh = nullptr;
    uint32_t vao = 0;

  protected:
    std::unique_ptr<MeshGeometry> ownedMesh;
};
