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

// ---- noise from the texture ----

// 3D value noise out of a 2D table: each step in z shifts the lattice by
// (37, 17), green is the lower z face and red the upper one. The divisor 255
// (not 512) makes a lattice step land on roughly every second texel.
float ValueNoise3(vec3 p)
{
    vec3 i = floor(p);
    vec3 f = fract(p);
    vec3 w = f * f * (3.0 - 2.0 * f);
    vec2 q = vec2(i.x + 37.0 * i.z + w.x, i.y + 17.0 * i.z + w.y);
    vec2 c = floor(q);
    vec2 uv = fract(q);
    vec4 t00 = texture2D(iChannel0, vec2((c.x + 0.5) / 255.0, (c.y + 0.5) / 255.0), -100.0);
    vec4 t10 = texture2D(iChannel0, vec2((c.x + 1.5) / 255.0, (c.y + 0.5) / 255.0), -100.0);
    vec4 t01 = texture2D(iChannel0, vec2((c.x + 0.5) / 255.0, (c.y + 1.5) / 255.0), -100.0);
    vec4 t11 = texture2D(iChannel0, vec2((c.x + 1.5) / 255.0, (c.y + 1.5) / 255.0), -100.0);
    vec4 n = mix(mix(t00, t10, uv.x), mix(t01, t11, uv.x), uv.y);
    return mix(n.g, n.r, w.z);
}

// One texel per pixel, repeating every 256 pixels; used as a dither.
vec4 PixelNoise(ivec2 vPixel)
{
    return texture2D(iChannel0, (vec2(vPixel) + vec2(0.5, 0.5)) / 256.0, -100.0);
}

// Decorrelates successive octaves. Not a rotation: x is doubled in the square
// of the length, so the coordinate never shrinks.
vec3 OctaveMix(vec3 q)
{
    return vec3(q.y + q.z, q.z - q.y, q.x + q.x) / sqrt(2.0);
}

// Scaled and drifting coordinate shared by the heights and the foam.
vec3 WaterCoord(vec3 p)
{
    vec3 q = 0.2 * p;
    q.y = q.y + 0.1 * fTime;
    q.z = q.z + 0.1 * fTime;
    return q;
}

// Ridged fractal height, 6 octaves: cheap enough for every march step.
float WaterHeightCoarse(vec3 p)
{
    vec3 q = WaterCoord(p);
    float s = 0.0;
    for (int k = 0; k < 6; k++)
    {
        q = OctaveMix(q);
        s = 2.0 * s + 2.0 * abs(ValueNoise3(q) - 0.5);
        q = 2.0 * q;
    }
    // 2^6, not the weight total 63: the top height stays 0.5.
    s = s / 64.0;
    return 0.5 - s;
}

// The same sum with 8 octaves, used only for the normal.
float WaterHeightFine(vec3 p)
{
    vec3 q = WaterCoord(p);
    float s = 0.0;
    for (int k = 0; k < 8; k++)
    {
        q = OctaveMix(q);
        s = 2.0 * s + 2.0 * abs(ValueNoise3(q) - 0.5);
        q = 2.0 * q;
    }
    s = s / 256.0;
    return 0.5 - s;
}

// Whitening mask: 16 octaves, the last ten on a restarted coordinate whose y
// runs with time, then a per-pixel dither and a falling smoothstep to the
// sixth power.
float FoamMask(vec3 p)
{
    vec3 q0 = WaterCoord(p);
    vec3 q = q0;
    float s = 0.0;
    for (int k = 0; k < 6; k++)
    {
        q = OctaveMix(q);
        s = 1.5 * s + 2.0 * abs(ValueNoise3(q) - 0.5);
        q = 2.0 * q;
    }
    q = 64.0 * q0;
    q.y = -0.05 * fTime;
    for (int k = 0; k < 10; k++)
    {
        q = OctaveMix(q);
        s = 1.5 * s + 2.0 * abs(ValueNoise3(q) - 0.5);
        q = 2.0 * q;
    }
    if (length(q) > 0.5)
    {
        s = s / 1500.0;
    }
    s = s - 0.01 * PixelNoise(ivec2(gl_FragCoord.xy)).r;
    // smoothstep(0.4, -0.1, s) spelt out: GLSL leaves reversed edges undefined.
    float t = clamp((s - 0.4) / (-0.1 - 0.4), 0.0, 1.0);
    float h = t * t * (3.0 - 2.0 * t);
    float h3 = h * h * h;
    return h3 * h3;
}

// ---- renderer ----

// Eye and unit view direction of this fragment for a camera orbiting the
// target: tilt a about x (positive looks down), then turn b about y.
void OrbitCamera(out vec3 vEye, out vec3 vDir, vec3 vTarget, vec2 vAngles, float fDistance, float fZoom)
{
    vec3 d = normalize(vec3(gl_FragCoord.x - iResolution.x / 2.0, gl_FragCoord.y - iResolution.y / 2.0,
                            iResolution.y * fZoom));
    float ca = cos(vAngles.x);
    float sa = sin(vAngles.x);
    float cb = cos(vAngles.y);
    float sb = sin(vAngles.y);
    d = vec3(d.x, d.y * ca - d.z * sa, d.z * ca + d.y * sa);
    d = vec3(d.x * cb + d.z * sb, d.y, d.z * cb - d.x * sb);
    vEye = vTarget - fDistance * vec3(ca * sb, -sa, ca * cb);
    vDir = d;
}

float WaterDistance(vec3 p)
{
    return p.y - WaterHeightCoarse(p);
}

float WaterDistanceFine(vec3 p)
{
    return p.y - WaterHeightFine(p);
}

// Steps the raw vertical gap along the ray. A gap left above 0.1 is a miss
// and gives 0, so the caller shades the eye point itself.
float TraceWater(vec3 vOrigin, vec3 vDir)
{
    float g = 1.0;
    float t = 0.0;
    for (int i = 0; i < 100; i++)
    {
        g = WaterDistance(vOrigin + t * vDir);
        t = t + g;
        // Tested after the step rather than before the next: the start state
        // (gap 1, distance 0) never stops, and a stop after the last pass
        // changes nothing, so the same steps are taken.
        if (g < 0.01 || t > 100.0)
        {
            break;
        }
    }
    if (g > 0.1)
    {
        return 0.0;
    }
    return t;
}

// Central differences of the fine gap; the step grows with the distance from
// the origin so far-away ripples do not alias. Normalising absorbs the 2h.
vec3 WaterNormal(vec3 p)
{
    float h = (iResolution.x / iResolution.y) * 0.01 * length(p);
    vec3 n;
    n.x = WaterDistanceFine(p + vec3(h, 0.0, 0.0)) - WaterDistanceFine(p - vec3(h, 0.0, 0.0));
    n.y = WaterDistanceFine(p + vec3(0.0, h, 0.0)) - WaterDistanceFine(p - vec3(0.0, h, 0.0));
    n.z = WaterDistanceFine(p + vec3(0.0, 0.0, h)) - WaterDistanceFine(p - vec3(0.0, 0.0, h));
    return normalize(n);
}

vec3 SkyColor(vec3 vDir)
{
    return vec3(0.2, 0.35, 0.5);
}

// Fresnel blend of the dark base and the sky, whitened by the foam.
vec3 ShadeWater(vec3 p, vec3 vDir)
{
    vec3 n = WaterNormal(p);
    float m = dot(vDir, n);
    // Two unit vectors can round to a dot just above 1; keep the base of the
    // fifth power from going negative.
    float e = max(1.0 - abs(m), 0.0);
    float fresnel = e * e * e * e * e;
    vec3 cReflect = SkyColor(vDir - 2.0 * m * n);
    vec3 c = mix(vec3(0.0, 0.04, 0.04), cReflect, fresnel);
    c = mix(c, vec3(1.0, 1.0, 1.0), FoamMask(p));
    return c;
}

vec3 GammaEncode(vec3 c)
{
    return pow(c, vec3(1.0 / 2.2));
}

void main()
{
    fTime = iGlobalTime;
    float r = gl_FragCoord.y / iResolution.y;
    if (r > 0.15 && r < 0.85)
    {
        vec3 vEye;
        vec3 vDir;
        OrbitCamera(vEye, vDir, vec3(0.0, 0.0, 0.0), vec2(0.5, 0.16), 2.8, 1.0);
        // Keep the orbit's orientation but sink the eye one unit per second.
        vEye.y = tan(1.3) + 2.0 - fTime;
        float t = TraceWater(vEye, vDir);
        vec3 c = ShadeWater(vEye + t * vDir, vDir);
        gl_FragColor = vec4(GammaEncode(c), 1.0);
    }
    else
    {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
    }
}
