#pragma once
#include <glm/mat4x4.hpp>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// One linked GL program from a vertex and a fragment source file, with cached locations.
// A shader that failed to build still exists, with program 0 and its name and paths set.
class Shader
{
  public:
    Shader(const std::string& vertexPath, const std::string& fragmentPath);
    ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    static uint32_t createShaderFromFile(uint32_t type, const std::string& path);
    static uint32_t createShaderFromSource(uint32_t type, const std::string& source);
    static uint32_t createProgram(const std::vector<uint32_t>& shaders);
    // Links and reports whether it succeeded.
    static bool linkProgram(uint32_t program);

    // Locations come from the cache; GL is asked once per name, -1 included.
    int32_t GetUniformLocation(const std::string& uniformName);
    int32_t GetAttribLocation(const std::string& attribName);

    void SetUniformInt(const std::string& uniformName, int32_t value);
    void SetUniformFloat3(const std::string& uniformName, float x, float y, float z);
    void SetUniformMat4(const std::string& uniformName, const glm::mat4& value);

    uint32_t GetProgram() const { return program; }

    uint32_t program = 0;
    std::string name; // vertex path up to its first '.', or the whole path without one
    std::string vertexPath;
    std::string fragmentPath;
    std::unordered_map<std::string, int32_t> uniformLocations;
    std::unordered_map<std::string, int32_t> attribLocations;
    uint32_t locationQueries = 0; // how often GL was asked for a location (tests check the caching)
};
