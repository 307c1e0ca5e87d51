#include "engine/Engine.h"
#include "engine/Log.h"
#include "engine/GLError.h"
#include "render/Camera.h"
#include "render/Mesh.h"
#include "render/RenderManager.h"
#include "render/Shader.h"

#include <GL/glew.h>
#include <glm/matrix.hpp>

void RenderObject::Execute()
{
    std::shared_ptr<Object> target = object.lock();
    std::shared_ptr<Shader> program = shader.lock();
    if (!target || !program)
    {
        Log::Warn("Invalid RenderObject {} command.", "Execute");
        return;
    }

    glBindVertexArray(target->vao);
    // Array 0 is normally "position", already enabled by Object::SetGeometry. Enabling it when the
    // vertex array has no buffer for it would make GL read vertices from client address 0.
    GLint buffer = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
    if (buffer != 0) glEnableVertexAttribArray(0);
    glUseProgram(program->program);

    program->SetUniformMat4("Mmatrix", target->model);
    program->SetUniformMat4("normalMatrix", glm::transpose(glm::inverse(target->model)));

    if (std::shared_ptr<Camera> camera = Engine::Get().renderManager.CurrentCamera())
        camera->SetUniforms(program);

    target->Draw(program);

    glUseProgram(0);
    glBindVertexArray(0);
    CheckGLError("RenderObject::Execute", __LINE__);
}
