#include "tests/support/shader_probe.h"

#include <epoxy/gl.h>
#include <stdio.h>
#include "render/render.h"

std::string GlslFloat(float v)
{
    char text[40];
    snprintf(text, sizeof text, "%.9g", (double)v);
    std::string s = text;
    if (s.find_first_of(".en") == std::string::npos)
        s += ".0";
    return s;
}

void EnsureNoiseTexture()
{
    static bool made;
    if (!made) {
        unsigned char* textura = nullptr;
        int32_t size = 0;
        noiseTexture = CrearTextura(textura, size, 256, 256);
        made = true;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, noiseTexture);
}

static std::string ShaderLog(GLuint shader)
{
    char log[8192] = {0};
    glGetShaderInfoLog(shader, sizeof log, NULL, log);
    return log;
}

ShaderProbe RunShaderProbe(const char* sceneSource, const std::string& testMain, int width, int height,
                           float time, float resX, float resY)
{
    ShaderProbe probe{false, "", {}, width};
    std::string source = sceneSource;
    size_t at = source.find("void main()");
    if (at == std::string::npos) {
        probe.log = "scene source has no `void main()`";
        return probe;
    }
    source.replace(at, 11, "void sceneMain()");
    source += "\n" + testMain + "\n";

    EnsureNoiseTexture();
    while (glGetError() != GL_NO_ERROR) {
    }
    const char* vs = vertexSource;
    const char* fs = source.c_str();
    GLuint vert = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(vert, 1, &vs, NULL);
    glCompileShader(vert);
    GLuint frag = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(frag, 1, &fs, NULL);
    glCompileShader(frag);
    GLint compiled = 0;
    glGetShaderiv(frag, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        probe.log = ShaderLog(frag);
        return probe;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vert);
    glAttachShader(program, frag);
    glBindAttribLocation(program, 0, "a_position");
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[8192] = {0};
        glGetProgramInfoLog(program, sizeof log, NULL, log);
        probe.log = log;
        return probe;
    }

    GLint previousFbo = 0;
    GLint viewport[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFbo);
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLuint fbo, colour;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA32F, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glViewport(0, 0, width, height);

    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "iResolution"), resX, resY);
    glUniform1f(glGetUniformLocation(program, "iGlobalTime"), time);
    static const float quad[12] = {-1, 1, 0, 1, 1, 0, 1, -1, 0, -1, -1, 0};
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, quad);
    glEnableVertexAttribArray(0);
    glDrawArrays(GL_QUADS, 0, 4);

    probe.rgba.resize((size_t)width * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, probe.rgba.data());
    GLenum error = glGetError();

    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)previousFbo);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glDeleteFramebuffers(1, &fbo);
    glDeleteRenderbuffers(1, &colour);
    glDeleteProgram(program);
    glDeleteShader(frag);
    glDeleteShader(vert);
    if (error != GL_NO_ERROR) {
        probe.log = "GL error " + std::to_string(error);
        return probe;
    }
    probe.ok = true;
    return probe;
}
