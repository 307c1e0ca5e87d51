#version 440

struct Material
{
    vec3 ambient;
    vec3 diffuse;
    vec3 specular;
    float shininess;
};

uniform Material material;
uniform int useTexture;
uniform sampler2D texSampler;
uniform vec3 viewPos;

in vec3 worldPosition;
in vec3 worldNormal;
in vec2 uv;

out vec4 fragColor;

// One white light shining down from above and slightly behind the default camera.
const vec3 lightDirection = vec3(-0.3, -1.0, -0.4);
const vec3 lightAmbient = vec3(0.3);
const vec3 lightDiffuse = vec3(0.7);
const vec3 lightSpecular = vec3(0.5);

void main()
{
    vec4 base = vec4(1.0);
    if (useTexture == 1)
        base = texture(texSampler, uv);

    vec3 ambient = lightAmbient * material.ambient * base.rgb;
    vec3 diffuse = vec3(0.0);
    vec3 specular = vec3(0.0);

    float normalLength = length(worldNormal);
    if (normalLength > 0.0)
    {
        // Surfaces are lit on the side the viewer sees (terrain seen from below too). The normal says
        // which side that is: the winding does not, since terrain triangles wind clockwise seen from
        // above, so GL takes their upper side for the back.
        vec3 n = worldNormal / normalLength;
        vec3 toEye = viewPos - worldPosition;
        if (dot(n, toEye) < 0.0)
            n = -n;
        vec3 toLight = normalize(-lightDirection);
        diffuse = lightDiffuse * max(dot(n, toLight), 0.0) * material.diffuse * base.rgb;

        if (length(toEye) > 0.0)
        {
            vec3 reflected = reflect(-toLight, n);
            float highlight = pow(max(dot(normalize(toEye), reflected), 0.0), max(material.shininess, 1.0));
            specular = lightSpecular * highlight * material.specular;
        }
    }
    else
    {
        // A mesh without normals has no shading direction: show it fully lit.
        diffuse = lightDiffuse * material.diffuse * base.rgb;
    }

    fragColor = vec4(ambient + diffuse + specular, base.a);
}
