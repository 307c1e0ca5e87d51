#include "render/Mesh.h"

#include "engine/Log.h"
#include "engine/GLError.h"
#include "render/Shader.h"

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>

namespace
{
// Points a shader attribute at the array buffer currently bound. Attributes the program does not
// use have location -1; GL would refuse them with GL_INVALID_VALUE, so they are skipped.
void PointAttribute(Shader& shader, const char* attribute, GLint components)
{
    const GLint location = shader.GetAttribLocation(attribute);
    if (location < 0) return;
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, 0, nullptr);
}

GLsizeiptr FloatBytes(uint32_t vertexCount, uint32_t components)
{
    return static_cast<GLsizeiptr>(vertexCount) * components * static_cast<GLsizeiptr>(sizeof(float));
}
} // namespace

MeshEntry MeshEntry::Whole(uint32_t indexCount, uint32_t texture)
{
    MeshEntry entry;
    entry.ambient = glm::vec3(1.0f);
    entry.diffuse = glm::vec3(1.0f);
    entry.specular = glm::vec3(0.1f);
    entry.shininess = 1.0f;
    entry.texture = texture;
    entry.indexCount = indexCount;
    entry.firstIndex = 0;
    entry.baseVertex = 0;
    return entry;
}

void MeshGeometry::UploadAll(uint32_t vertices, uint32_t indexTotal, const float* positions,
                             const float* normals, const float* texCoords, const uint32_t* indices)
{
    // An empty mesh (whose vectors hand out null) still uploads something: the single uploads
    // refuse a null array as a caller's mistake, and still do when there are elements to read.
    static const float kNoFloats[3]{};
    static const uint32_t kNoIndices[3]{};
    vertexCount = vertices;
    indexCount = indexTotal;
    const auto orEmpty = [](const auto* array, uint32_t count, const auto* none)
    { return array == nullptr && count == 0 ? none : array; };
    UpdateVertices(orEmpty(positions, vertices, kNoFloats));
    UpdateNormals(orEmpty(normals, vertices, kNoFloats));
    UpdateTexCoords(orEmpty(texCoords, vertices, kNoFloats));
    UpdateIndices(orEmpty(indices, indexTotal, kNoIndices));
}

size_t MeshGeometry::ArrayBytes(Array array) const
{
    switch (array)
    {
    case Array::Positions:
    case Array::Normals:
        return static_cast<size_t>(FloatBytes(vertexCount, 3));
    case Array::TexCoords:
        return static_cast<size_t>(FloatBytes(vertexCount, 2));
    case Array::Indices:
        return size_t{indexCount} * sizeof(uint32_t);
    }
    return 0;
}

namespace
{
GLuint BufferOf(const MeshGeometry& mesh, MeshGeometry::Array array)
{
    switch (array)
    {
    case MeshGeometry::Array::Positions:
        return mesh.vertexBuffer;
    case MeshGeometry::Array::Normals:
        return mesh.normalBuffer;
    case MeshGeometry::Array::TexCoords:
        return mesh.texCoordBuffer;
    case MeshGeometry::Array::Indices:
        return mesh.indexBuffer;
    }
    return 0;
}
} // namespace

// Through the copy-write target: binding the index buffer as an element array would change the
// bound vertex array's indices, and the array-buffer binding belongs to whoever set it.
void MeshGeometry::AllocateArray(Array array)
{
    if (array == Array::Normals) hasNormals = true;
    if (array == Array::TexCoords) hasTexCoords = true;
    glBindBuffer(GL_COPY_WRITE_BUFFER, BufferOf(*this, array));
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(ArrayBytes(array)), nullptr, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    CheckGLError("MeshGeometry::AllocateArray", __LINE__);
}

void MeshGeometry::WriteArray(Array array, size_t firstByte, size_t bytes, const void* data)
{
    if (data == nullptr || firstByte + bytes > ArrayBytes(array))
    {
        Log::Error("{} - passing nullptr or writing past the array.", "WriteArray");
        return;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, BufferOf(*this, array));
    glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(firstByte), static_cast<GLsizeiptr>(bytes),
                    data);
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    CheckGLError("MeshGeometry::WriteArray", __LINE__);
}

void MeshGeometry::WriteRuns(Array array, const std::vector<Run>& runs, const void* base)
{
    if (base == nullptr || runs.empty()) return;
    const size_t total = ArrayBytes(array);
    glBindBuffer(GL_COPY_WRITE_BUFFER, BufferOf(*this, array));
    for (const Run& run : runs)
        if (run.bytes > 0 && run.firstByte + run.bytes <= total)
            glBufferSubData(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(run.firstByte),
                            static_cast<GLsizeiptr>(run.bytes),
                            static_cast<const uint8_t*>(base) + run.firstByte);
    glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
    CheckGLError("MeshGeometry::WriteRuns", __LINE__);
}

MeshGeometry::MeshGeometry()
{
    glGenBuffers(1, &vertexBuffer);
    glGenBuffers(1, &normalBuffer);
    glGenBuffers(1, &texCoordBuffer);
    glGenBuffers(1, &indexBuffer);
}

MeshGeometry::~MeshGeometry()
{
    const GLuint buffers[] = {vertexBuffer, normalBuffer, texCoordBuffer, indexBuffer};
    glDeleteBuffers(4, buffers);
}

void MeshGeometry::UpdateVertices(const float* positions)
{
    if (positions == nullptr)
    {
        Log::Error("{} - passing nullptr.", "UpdateVertices");
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, FloatBytes(vertexCount, 3), positions, GL_DYNAMIC_DRAW);
    CheckGLError("MeshGeometry::UpdateVertices", __LINE__);
}

void MeshGeometry::UpdateNormals(const float* normals)
{
    if (normals == nullptr)
    {
        Log::Error("{} - passing nullptr.", "UpdateNormals");
        return;
    }
    hasNormals = true;
    glBindBuffer(GL_ARRAY_BUFFER, normalBuffer);
    glBufferData(GL_ARRAY_BUFFER, FloatBytes(vertexCount, 3), normals, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    CheckGLError("MeshGeometry::UpdateNormals", __LINE__);
}

void MeshGeometry::UpdateTexCoords(const float* texCoords)
{
    if (texCoords == nullptr)
    {
        Log::Error("{} - passing nullptr.", "UpdateTexCoords");
        return;
    }
    hasTexCoords = true;
    glBindBuffer(GL_ARRAY_BUFFER, texCoordBuffer);
    glBufferData(GL_ARRAY_BUFFER, FloatBytes(vertexCount, 2), texCoords, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    CheckGLError("MeshGeometry::UpdateTexCoords", __LINE__);
}

void MeshGeometry::UpdateIndices(const uint32_t* indices)
{
    if (indices == nullptr)
    {
        Log::Error("{} - passing nullptr.", "UpdateIndices");
        return;
    }
    // The element binding belongs to the bound vertex array: binding and unbinding the index
    // buffer under some object's array would strip that object of its indices.
    GLint boundArray = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &boundArray);
    if (boundArray != 0) glBindVertexArray(0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    CheckGLError("MeshGeometry::UpdateIndices", __LINE__);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount) * 4, indices, GL_DYNAMIC_DRAW);
    CheckGLError("MeshGeometry::UpdateIndices", __LINE__);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    CheckGLError("MeshGeometry::UpdateIndices", __LINE__);
    if (boundArray != 0) glBindVertexArray(static_cast<GLuint>(boundArray));
}

Object::Object() : ownedMesh(std::make_unique<MeshGeometry>())
{
    mesh = ownedMesh.get();
    glGenVertexArrays(1, &vao);
}

Object::~Object()
{
    if (vao != 0) glDeleteVertexArrays(1, &vao);
}

void Object::SetMesh(std::unique_ptr<MeshGeometry> geometry)
{
    ownedMesh = std::move(geometry);
    mesh = ownedMesh.get();
}

void Object::SetGeometry(MeshGeometry* geometry, const std::shared_ptr<Shader>& shader)
{
    if (geometry == nullptr)
    {
        Log::Warn("Mesh not loaded.");
        return;
    }
    mesh = geometry;
    if (vao == 0)
    {
        Log::Warn("Trying to load an object without a VAO.");
        glBindVertexArray(0);
        return;
    }
    if (!shader)
    {
        Log::Warn("{} is nullptr.", "SetGeometry");
        return;
    }

    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, mesh->vertexBuffer);
    PointAttribute(*shader, "position", 3);
    CheckGLError("Object::SetGeometry", __LINE__);

    if (mesh->hasNormals)
    {
        glBindBuffer(GL_ARRAY_BUFFER, mesh->normalBuffer);
        PointAttribute(*shader, "normal", 3);
        CheckGLError("Object::SetGeometry", __LINE__);
    }

    if (mesh->hasTexCoords)
    {
        glBindBuffer(GL_ARRAY_BUFFER, mesh->texCoordBuffer);
        PointAttribute(*shader, "texcoord", 2);
    }
    else
    {
        // No texture coordinates: "color" reads whichever buffer is still bound (normals when
        // there are some, else positions).
        PointAttribute(*shader, "color", 3);
        Log::Warn("Mesh loaded without texture.");
    }

    CheckGLError("Object::SetGeometry", __LINE__);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh->indexBuffer);
    CheckGLError("Object::SetGeometry", __LINE__);
    glBindVertexArray(0);
}

void Object::Draw(const std::shared_ptr<Shader>& shader)
{
    glBindVertexArray(vao);
    CheckGLError("Object::Draw", __LINE__);
    if (!shader || mesh == nullptr) return;

    // A mesh without entries is drawn whole and untextured: it names no texture to bind.
    if (mesh->entries.empty())
    {
        glUniform1i(shader->GetUniformLocation("useTexture"), 0);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(mesh->indexCount), GL_UNSIGNED_INT, nullptr);
        CheckGLError("Object::Draw", __LINE__);
        return;
    }

    for (const MeshEntry& entry : mesh->entries)
    {
        glUniform3fv(shader->GetUniformLocation("material.diffuse"), 1, glm::value_ptr(entry.diffuse));
        glUniform3fv(shader->GetUniformLocation("material.ambient"), 1, glm::value_ptr(entry.ambient));
        glUniform3fv(shader->GetUniformLocation("material.specular"), 1, glm::value_ptr(entry.specular));
        glUniform1f(shader->GetUniformLocation("material.shininess"), entry.shininess);
        CheckGLError("Object::Draw", __LINE__);

        if (entry.texture != 0 && mesh->hasTexCoords)
        {
            shader->SetUniformInt("useTexture", 1);
            shader->SetUniformInt("texSampler", 0);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, entry.texture);
            CheckGLError("Object::Draw", __LINE__);
        }
        else
        {
            glUniform1i(shader->GetUniformLocation("useTexture"), 0);
        }

        CheckGLError("Object::Draw", __LINE__);
        const auto offset = static_cast<uintptr_t>(entry.firstIndex) * sizeof(uint32_t);
        if (entry.repeat > 1)
        {
            // One call for every repetition, drawn in order as separate calls would be.
            const std::vector<GLsizei> counts(entry.repeat, static_cast<GLsizei>(entry.indexCount));
            const std::vector<const void*> offsets(entry.repeat, reinterpret_cast<const void*>(offset));
            std::vector<GLint> bases(entry.repeat);
            for (uint32_t r = 0; r < entry.repeat; ++r)
                bases[r] = entry.baseVertex + static_cast<GLint>(r) * entry.repeatStride;
            glMultiDrawElementsBaseVertex(GL_TRIANGLES, counts.data(), GL_UNSIGNED_INT, offsets.data(),
                                          static_cast<GLsizei>(entry.repeat), bases.data());
            CheckGLError("Object::Draw", __LINE__);
            continue;
        }
        glDrawElementsBaseVertex(entry.lineStrip ? GL_LINE_STRIP : GL_TRIANGLES,
                                 static_cast<GLsizei>(entry.indexCount), GL_UNSIGNED_INT,
                                 reinterpret_cast<const void*>(offset), entry.baseVertex);
    }
}
