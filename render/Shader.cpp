#include "render/Shader.h"

#include "engine/Log.h"
#include "engine/GLError.h"

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>

#include <cstdio>
#include <vector>

namespace
{
const char* StageName(uint32_t type)
{
    switch (type)
    {
    case GL_VERTEX_SHADER:
        return "vertex";
    case GL_FRAGMENT_SHADER:
        return "fragment";
    case GL_GEOMETRY_SHADER:
        return "geometry";
    default:
        return "unknown";
    }
}
} // namespace

Shader::Shader(const std::string& vertex, const std::string& fragment)
{
    std::vector<uint32_t> stages;
    stages.push_back(createShaderFromFile(GL_VERTEX_SHADER, vertex));
    stages.push_back(createShaderFromFile(GL_FRAGMENT_SHADER, fragment));
    program = createProgram(stages);
    name = vertex.substr(0, vertex.find('.'));
    vertexPath = vertex;
    fragmentPath = fragment;
}

Shader::~Shader()
{
    glUseProgram(0);
    CheckGLError("Shader::~Shader", __LINE__);
    glDeleteProgram(program);
    CheckGLError("Shader::~Shader", __LINE__);
}

uint32_t Shader::createShaderFromFile(uint32_t type, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        Log::Error("Unable to open file {} for reading.", path);
        return 0;
    }
    Log::Trace("Loading shader: {}", path);

    // Read to the end rather than trusting a seek for the size: a folder opens fine but has none.
    std::string source;
    char chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        source.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
    {
        Log::Error("Unable to open file {} for reading.", path);
        return 0;
    }
    source.resize(std::char_traits<char>::length(source.c_str())); // the source ends at a zero byte
    return createShaderFromSource(type, source);
}

uint32_t Shader::createShaderFromSource(uint32_t type, const std::string& source)
{
    const GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE)
    {
        CheckGLError("Shader::createShaderFromSource", __LINE__);
        return shader;
    }

    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> infoLog(static_cast<size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, infoLog.data());
    Log::Error("Compile failure in {} shader:", StageName(type));
    Log::Error("{}", infoLog.data());
    glDeleteShader(shader);
    return 0;
}

uint32_t Shader::createProgram(const std::vector<uint32_t>& shaders)
{
    const GLuint program = glCreateProgram();
    bool allStages = true;
    for (uint32_t shader : shaders)
    {
        glAttachShader(program, shader); // a failed stage (0) makes GL record an error, reported below
        allStages = allStages && shader != 0;
    }
    CheckGLError("Shader::createProgram", __LINE__);

    // A compatibility context links a program with a missing stage against the fixed pipeline;
    // a stage that failed to load or compile must fail the program all the same.
    if (linkProgram(program) && allStages)
    {
        // Flagged for deletion only: they stay attached and go with the program.
        for (uint32_t shader : shaders)
            glDeleteShader(shader);
        return program;
    }

    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> infoLog(static_cast<size_t>(length) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, infoLog.data());
    std::fprintf(stderr, "Linker failure: %s\n", allStages ? infoLog.data() : "a shader stage is missing");

    GLuint attached[10] = {};
    GLsizei count = 0;
    glGetAttachedShaders(program, 10, &count, attached);
    for (GLsizei i = 0; i < count; ++i)
        glDeleteShader(attached[i]);
    glDeleteProgram(program);
    Log::Trace("Shader program deleted");
    return 0;
}

bool Shader::linkProgram(uint32_t program)
{
    glLinkProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    CheckGLError("Shader::linkProgram", __LINE__);
    return status == GL_TRUE;
}

int32_t Shader::GetUniformLocation(const std::string& uniformName)
{
    auto found = uniformLocations.find(uniformName);
    if (found != uniformLocations.end()) return found->second;
    GLint location = -1;
    if (program != 0) // a failed program has no uniforms; asking GL would only record an error
    {
        location = glGetUniformLocation(program, uniformName.c_str());
        ++locationQueries;
        CheckGLError("Shader::GetUniformLocation", __LINE__);
    }
    uniformLocations.emplace(uniformName, location);
    return location;
}

int32_t Shader::GetAttribLocation(const std::string& attribName)
{
    auto found = attribLocations.find(attribName);
    if (found != attribLocations.end()) return found->second;
    GLint location = -1;
    if (program != 0)
    {
        location = glGetAttribLocation(program, attribName.c_str());
        ++locationQueries;
        CheckGLError("Shader::GetAttribLocation", __LINE__);
    }
    attribLocations.emplace(attribName, location);
    return location;
}

void Shader::SetUniformInt(const std::string& uniformName, int32_t value)
{
    glUseProgram(program);
    CheckGLError("Shader::SetUniformInt", __LINE__);
    glUniform1i(GetUniformLocation(uniformName), value);
    CheckGLError("Shader::SetUniformInt", __LINE__);
}

void Shader::SetUniformFloat3(const std::string& uniformName, float x, float y, float z)
{
    glUseProgram(program);
    CheckGLError("Shader::SetUniformFloat3", __LINE__);
    glUniform3f(GetUniformLocation(uniformName), x, y, z);
    CheckGLError("Shader::SetUniformFloat3", __LINE__);
}

void Shader::SetUniformMat4(const std::string& uniformName, const glm::mat4& value)
{
    glUseProgram(program);
    glUniformMatrix4fv(GetUniformLocation(uniformName), 1, GL_FALSE, glm::value_ptr(value));
    CheckGLError("Shader::SetUniformMat4", __LINE__);
}
