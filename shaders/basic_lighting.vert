#version 440

// Fixed locations keep "position" at array 0, which the draw command enables.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;

uniform mat4 Mmatrix;
uniform mat4 normalMatrix;
uniform mat4 Vmatrix;
uniform mat4 Pmatrix;

out vec3 worldPosition;
out vec3 worldNormal;
out vec2 uv;

void main()
{
    vec4 world = Mmatrix * vec4(position, 1.0);
    worldPosition = world.xyz;
    worldNormal = mat3(normalMatrix) * normal;
    uv = texcoord;
    gl_Position = Pmatrix * Vmatrix * world;
}
