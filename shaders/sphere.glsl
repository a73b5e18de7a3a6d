uniform vec2 iResolution;
uniform float iGlobalTime;
uniform vec3 iMouse;
uniform sampler2D iChannel0;

float fTime;

struct C_Ray
{
    vec3 vOrigin;
    vec3 vDir;
};

struct C_HitInfo
{
    vec3 vPos;
    float fDistance;
    vec3 vObjectId;
};

struct C_Material
{
    vec3 cAlbedo;
    float fR0;
    float fSmoothness;
    vec2 vParam;
};

void main()
{
    fTime = iGlobalTime;
    float r = gl_FragCoord.y / iResolution.y;
    if (r > 0.15 && r < 0.85)
    {
        gl_FragColor = vec4(vec3(0.1, 0.25, 0.5), 1.0);
    }
    else
    {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
    }
}
