// The three material files: GLSL 1.10 programs with their texture lines. Together they
// bind a 2D texture from a file, a cube map and the texture of a render target.
#include "DataSet.h"

namespace {

// A cross-tiled surface that mirrors the sky.
const char kTest[] = R"(%VERTEX_SHADER
#version 110
varying vec3 reflected;
varying vec2 uv;
void main()
{
    vec4 eyePosition = gl_ModelViewMatrix * gl_Vertex;
    vec3 normal = normalize(gl_NormalMatrix * gl_Normal);
    reflected = reflect(normalize(eyePosition.xyz), normal);
    uv = gl_MultiTexCoord0.xy;
    gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
uniform sampler2D pattern;
uniform samplerCube sky;
varying vec3 reflected;
varying vec2 uv;
void main()
{
    vec3 base = texture2D(pattern, uv).rgb;
    vec3 mirrored = textureCube(sky, reflected).rgb;
    gl_FragColor = vec4(mix(base, mirrored, 0.4), 1.0);
}
%TEX2D pattern = risti
%TEXCUBE sky = sky
)";

// Eye-space normals as colours, for checking a model's normals.
const char kShowNormals[] = R"(%VERTEX_SHADER
#version 110
varying vec3 normal;
void main()
{
    normal = normalize(gl_NormalMatrix * gl_Normal);
    gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
varying vec3 normal;
void main()
{
    gl_FragColor = vec4(normalize(normal) * 0.5 + 0.5, 1.0);
}
)";

// A full-screen pass that shows the glow target in negative.
const char kInvert[] = R"(%TEX2D frame = rt1
%VERTEX_SHADER
#version 110
varying vec2 uv;
void main()
{
    uv = gl_MultiTexCoord0.xy;
    gl_Position = ftransform();
}
%FRAGMENT_SHADER
#version 110
uniform sampler2D frame;
varying vec2 uv;
void main()
{
    gl_FragColor = vec4(vec3(1.0) - texture2D(frame, uv).rgb, 1.0);
}
)";

bool writeText(const std::string& path, const char* text, size_t size, std::string& error) {
    return writeWholeFile(path, text, size - 1, error);  // without the terminating zero
}

}  // namespace

bool makeMaterials(const std::string& dir, std::string& error) {
    return writeText(dir + "/materials/test.mat", kTest, sizeof(kTest), error) &&
           writeText(dir + "/materials/show_normals.mat", kShowNormals, sizeof(kShowNormals),
                     error) &&
           writeText(dir + "/materials/pp_invert.mat", kInvert, sizeof(kInvert), error);
}
