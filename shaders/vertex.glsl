uniform vec2 iResolution;
uniform float iGlobalTime;
uniform vec3 iMouse;
attribute vec3 a_position;
void main()
{
    gl_Position = vec4(a_position, 1.0);
}
