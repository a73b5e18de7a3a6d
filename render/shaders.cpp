#include "render/render.h"

#include <string.h>
#include "platform/platform.h"
#include "state/shared.h"

GLuint shaderSlots[SHADER_SLOTS];
int32_t shaderCount = 1;

// Writes a failed compilation's log, cut to 499 characters, to the debugger
// channel. The heading is the same for every stage.
static void LogCompileFailure(GLuint shader)
{
    char errorcompiler[500];
    errorcompiler[0] = 0;
    memset(errorcompiler + 1, 0, sizeof errorcompiler - 1);
    glGetShaderInfoLog(shader, 500, NULL, errorcompiler);
    PlatformDebugOutput("\r\n\r\nEror compilando Fragment Shader:");
    PlatformDebugOutput(errorcompiler);
    PlatformDebugOutput("\r\n");
}

void BuildVertexShader()
{
    const char* sources[1] = {vertexSource};
    GLint compiled = 0;
    GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(shader, 1, sources, NULL);
    glCompileShader(shader);
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == 0)
        LogCompileFailure(shader);
    shaderSlots[0] = shader;
}

GLuint LoadShader(const char* source)
{
    GLint compiled = 0;
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &source, NULL);
    CheckGLError("glShaderSource ");
    glCompileShader(shader);
    CheckGLError("glCompileShader ");
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    CheckGLError("glGetShaderiv ");
    if (compiled == 0)
        LogCompileFailure(shader);
    GLuint program = glCreateProgram();
    glAttachShader(program, shaderSlots[0]);
    CheckGLError("glAttachShader ");
    glAttachShader(program, shader);
    CheckGLError("glAttachShader ");
    // The quad's corners arrive on attribute 0; bind it before the link, where
    // the binding takes effect, instead of trusting the driver's placement.
    glBindAttribLocation(program, 0, "a_position");
    glLinkProgram(program);
    CheckGLError("glLinkProgram ");
    if (shaderCount < 1 || shaderCount >= SHADER_SLOTS) {
        PlatformDebugOutput("LoadShader: no free program slot\r\n");
        return program;
    }
    shaderSlots[shaderCount] = program;
    shaderCount += 1;
    return program;
}

GLuint SceneProgram(int32_t part)
{
    // The scenes' programs follow the vertex shader in the parts' order.
    if (!IsScenePart(part))
        return 0;
    return shaderSlots[1 + (part - PART_WATER)];
}
