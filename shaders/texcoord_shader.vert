#version 440

layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texcoord;

uniform mat4 Mmatrix;
uniform mat4 Vmatrix;
uniform mat4 Pmatrix;

out vec2 uv;

void main()
{
    uv = texcoord;
    gl_Position = Pmatrix * Vmatrix * Mmatrix * vec4(position, 1.0);
}
