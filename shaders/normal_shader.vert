#version 440

layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;

uniform mat4 Mmatrix;
uniform mat4 normalMatrix;
uniform mat4 Vmatrix;
uniform mat4 Pmatrix;

out vec3 worldNormal;

void main()
{
    worldNormal = mat3(normalMatrix) * normal;
    gl_Position = Pmatrix * Vmatrix * Mmatrix * vec4(position, 1.0);
}
