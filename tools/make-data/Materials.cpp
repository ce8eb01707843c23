// The three material files: GLSL 1.10 programs with their texture slots. Together they
// bind a 2D texture from a file, a cube map and the texture of a render target.
#include "DataSet.h"
#include "materials/MaterialManager.h"

namespace {

// A cross-tiled surface that mirrors the sky.
const char kTestVertex[] = R"(#version 110
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
)";
const char kTestFragment[] = R"(#version 110
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
)";

// Eye-space normals as colours, for checking a model's normals.
const char kNormalsVertex[] = R"(#version 110
varying vec3 normal;
void main()
{
    normal = normalize(gl_NormalMatrix * gl_Normal);
    gl_Position = ftransform();
}
)";
const char kNormalsFragment[] = R"(#version 110
varying vec3 normal;
void main()
{
    gl_FragColor = vec4(normalize(normal) * 0.5 + 0.5, 1.0);
}
)";

// A full-screen pass that shows the glow target in negative.
const char kInvertVertex[] = R"(#version 110
varying vec2 uv;
void main()
{
    uv = gl_MultiTexCoord0.xy;
    gl_Position = ftransform();
}
)";
const char kInvertFragment[] = R"(#version 110
uniform sampler2D frame;
varying vec2 uv;
void main()
{
    gl_FragColor = vec4(vec3(1.0) - texture2D(frame, uv).rgb, 1.0);
}
)";

TextureSlot slot(GLenum target, const char* sampler, const char* texture) {
    TextureSlot s;
    s.target = target;
    s.samplerName = sampler;
    s.textureName = texture;
    return s;
}

bool write(const std::string& path, const char* vertex, const char* fragment,
           std::vector<TextureSlot> textures, std::string& error) {
    MaterialSource source;
    source.vertexText = vertex;
    source.fragmentText = fragment;
    source.textures = std::move(textures);
    if (!writeMaterialFile(path, source)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

bool makeTestMaterial(const std::string& dir, std::string& error) {
    return write(dir + "/materials/test.mat", kTestVertex, kTestFragment,
                 {slot(GL_TEXTURE_2D, "pattern", "risti"), slot(GL_TEXTURE_CUBE_MAP, "sky", "sky")},
                 error);
}
bool makeShowNormalsMaterial(const std::string& dir, std::string& error) {
    return write(dir + "/materials/show_normals.mat", kNormalsVertex, kNormalsFragment, {}, error);
}
bool makeInvertMaterial(const std::string& dir, std::string& error) {
    return write(dir + "/materials/pp_invert.mat", kInvertVertex, kInvertFragment,
                 {slot(GL_TEXTURE_2D, "frame", "rt1")}, error);
}
