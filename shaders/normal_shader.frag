#version 440

in vec3 worldNormal;

out vec4 fragColor;

void main()
{
    // Unit normal mapped from [-1, 1] to [0, 1] per axis; no normal shows as mid grey.
    float normalLength = length(worldNormal);
    vec3 n = normalLength > 0.0 ? worldNormal / normalLength : vec3(0.0);
    fragColor = vec4(n * 0.5 + 0.5, 1.0);
}
