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

// ---- geometry helpers ----

vec2 SinCos(const in float a)
{
    return vec2(sin(a), cos(a));
}

vec3 RotateX(const in vec3 p, const in vec2 sc)
{
    float s = sc.x;
    float c = sc.y;
    return vec3(p.x, c * p.y + s * p.z, -s * p.y + c * p.z);
}

vec3 RotateY(const in vec3 p, const in vec2 sc)
{
    float s = sc.x;
    float c = sc.y;
    return vec3(c * p.x + s * p.z, p.y, -s * p.x + c * p.z);
}

vec3 RotateZ(const in vec3 p, const in vec2 sc)
{
    float s = sc.x;
    float c = sc.y;
    return vec3(c * p.x + s * p.y, -s * p.x + c * p.y, p.z);
}

vec3 RotateX(const in vec3 p, const in float a)
{
    return RotateX(p, SinCos(a));
}

vec3 RotateY(const in vec3 p, const in float a)
{
    return RotateY(p, SinCos(a));
}

vec3 RotateZ(const in vec3 p, const in float a)
{
    return RotateZ(p, SinCos(a));
}

// The candidate wins ties, so the later element in the fixed order names the
// surface. A select rather than mix(): blending with a weight of exactly 1 is
// not exact everywhere, and all four components must come from one sample.
vec4 SelectNearer(const in vec4 current, const in vec4 candidate)
{
    return (current.x < candidate.x) ? current : candidate;
}

float SphereDistance(const in vec3 p, const in float r)
{
    return length(p) - r;
}

// Ring in the local y-z plane around the local x axis.
float TorusDistance(const in vec3 p, const in float ringRadius, const in float tubeRadius)
{
    vec2 q = vec2(length(p.yz) - ringRadius, p.x);
    return length(q) - tubeRadius;
}

// Solid cylinder along the local y axis; a bound near the rims, which the
// march tolerates.
float CylinderDistance(const in vec3 p, const in float r, const in float h)
{
    return max(abs(p.y) - h, length(p.xz) - r);
}

vec3 SphericalDirection(const in float a, const in float b)
{
    return vec3(sin(a) * cos(b), sin(b), cos(a) * cos(b));
}

// ---- the world ----

vec4 SceneDistance(const in vec3 p)
{
    float t = fTime;
    float pi = 3.141592654;
    float halfPi = pi / 2.0;

    // Floor-based mod keeps negative coordinates inside the cell.
    vec3 q = p;
    q.x = mod(q.x, 6.0) - 3.0;
    q.z = mod(q.z, 6.0) - 3.0;
    q.x = q.x + sin(t);

    // Samples carry the two arguments of their angle parameter until the end,
    // where one arc tangent serves the winner instead of sixty serving all
    // (the results are the same, the frame several times cheaper). The
    // sphere's id rides negated because its parameters use other coordinates.
    vec4 nearest = vec4(SphereDistance(q, 1.0), -2.0, q.z, q.x);

    // The stud circles step a float by 2/12 while it stays below 2. Single
    // precision leaves it at 1.9999998 after twelve steps, so there is a
    // thirteenth pass; an integer bound makes every compiler agree on it
    // (some count twelve when they unroll the float test).
    float c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(0.0, cos(theta), sin(theta));
        vec3 local = RotateX(g, theta);
        vec4 candidate = vec4(CylinderDistance(local, 0.2, 0.2), 2.0, g.z, g.y);
        nearest = SelectNearer(nearest, candidate);
        c += 2.0 / 12.0;
    }
    c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(sin(theta), 0.0, cos(theta));
        vec3 local = RotateX(RotateZ(g, halfPi), theta + halfPi);
        vec4 candidate = vec4(CylinderDistance(local, 0.2, 0.2), 2.0, g.z, g.y);
        nearest = SelectNearer(nearest, candidate);
        c += 2.0 / 12.0;
    }
    c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(cos(theta), sin(theta), 0.0);
        vec3 local = RotateX(RotateY(g, halfPi), theta + halfPi);
        vec4 candidate = vec4(CylinderDistance(local, 0.2, 0.2), 2.0, g.z, g.y);
        nearest = SelectNearer(nearest, candidate);
        c += 2.0 / 12.0;
    }

    // Two interleaved columns of links, the second turned 45 degrees.
    for (int k = 0; k < 10; k++)
    {
        vec3 g = q + vec3(0.0, float(k), 0.0);
        vec3 local = RotateY(g, halfPi);
        vec4 candidate = vec4(TorusDistance(local, 0.3, 0.1), 1.0, g.z, g.y);
        nearest = SelectNearer(nearest, candidate);
    }
    for (int k = 0; k < 10; k++)
    {
        vec3 g = q + vec3(0.0, float(k) + 0.5, 0.0);
        vec3 local = RotateY(g, pi / 4.0);
        vec4 candidate = vec4(TorusDistance(local, 0.3, 0.1), 1.0, g.z, g.y);
        nearest = SelectNearer(nearest, candidate);
    }
    if (nearest.y < 0.0)
    {
        return vec4(nearest.x, 2.0, atan(nearest.z, nearest.w), q.y);
    }
    return vec4(nearest.x, nearest.y, atan(nearest.z, nearest.w), nearest.w);
}

// Blue with a faint speckle from the noise texture; only the first sixth of
// its width is ever read.
C_Material GetMaterial(const in C_HitInfo hit)
{
    float pi = 3.141592654;
    C_Material material;
    material.fR0 = 0.05;
    material.fSmoothness = 0.9;
    float u = clamp(hit.vObjectId.y / pi + 1.0, 0.0, 1.0);
    float v = clamp(0.5 - hit.vObjectId.z / 2.0, 0.0, 1.0);
    u = u / 6.0;
    vec4 t = texture2D(iChannel0, vec2(u, v)) / 4.0;
    material.cAlbedo = mix(vec3(0.05, 0.35, 0.75), t.rgb * t.rgb, t.a);
    return material;
}

void CameraPath(out vec3 eye, out vec3 target)
{
    float t = fTime;
    float pi = 3.141592654;
    float yaw = -sin(2.0 * (t + pi) / 2.25);
    float pitch = sin(0.2 * pi * (3.0 - t) + 0.025 * pi);
    eye = 7.0 * SphericalDirection(yaw, pitch);
    target = vec3(0.0, -1.0, sin(t / 2.0));
}

// ---- camera ----

void BuildCameraRay(const in vec3 eye, const in vec3 forward, const in vec3 up, out C_Ray ray)
{
    vec2 p = gl_FragCoord.xy / iResolution.xy;
    p = p * 2.0 - 1.0;
    p = p * 0.75;
    p.y = p.y / (iResolution.x / iResolution.y);
    vec3 right = normalize(cross(forward, up));
    vec3 camUp = cross(right, forward);
    ray.vOrigin = eye;
    ray.vDir = normalize(right * p.x + camUp * p.y + forward);
}

void LookAtCameraRay(const in vec3 eye, const in vec3 target, out C_Ray ray)
{
    vec3 forward = normalize(target - eye);
    BuildCameraRay(eye, forward, vec3(0.0, 1.0, 0.0), ray);
}

// ---- march ----

// Steps by the full distance estimate. The pass bound is fixed; stepBudget
// only cuts it short. A march that stops short of maxDistance without
// reaching a surface still counts as a hit where it stopped.
void MarchRay(const in C_Ray ray, const in float maxDistance, const in int stepBudget, out C_HitInfo hit)
{
    hit.fDistance = 0.1;
    hit.vObjectId.x = 0.0;
    for (int i = 0; i <= 128; i++)
    {
        hit.vPos = ray.vOrigin + ray.vDir * hit.fDistance;
        vec4 s = SceneDistance(hit.vPos);
        hit.vObjectId = s.yzw;
        if (abs(s.x) <= 0.01 || hit.fDistance >= maxDistance || i > stepBudget)
        {
            break;
        }
        hit.fDistance = hit.fDistance + s.x;
    }
    if (hit.fDistance >= maxDistance)
    {
        hit.vPos = ray.vOrigin + ray.vDir * hit.fDistance;
        hit.vObjectId.x = 0.0;
        hit.fDistance = 1000.0;
    }
}

// ---- lighting ----

vec3 BackgroundColor(const in vec3 d)
{
    return vec3(0.4, 0.9, 1.0) * (0.5 * d.y + 0.5);
}

vec3 AmbientLight(const in vec3 n)
{
    return BackgroundColor(n);
}

vec3 LightPosition()
{
    return vec3(-3.0 + sin(fTime), 0.0, -6.0 + cos(fTime));
}

vec3 LightColor()
{
    return vec3(32.0 * abs(sin(fTime)), 2.0, 1.0);
}

// Tetrahedral central differences: four samples, none at p itself.
vec3 SceneNormal(const in vec3 p)
{
    float e = 0.025;
    vec3 k1 = vec3(e, -e, -e);
    vec3 k2 = vec3(-e, -e, e);
    vec3 k3 = vec3(-e, e, -e);
    vec3 k4 = vec3(e, e, e);
    float f1 = SceneDistance(p + k1).x;
    float f2 = SceneDistance(p + k2).x;
    float f3 = SceneDistance(p + k3).x;
    float f4 = SceneDistance(p + k4).x;
    return normalize(k1 * f1 + k2 * f2 + k3 * f3 + k4 * f4);
}

float AmbientOcclusion(const in vec3 p, const in vec3 n)
{
    float occ = 1.0;
    float d = 0.0;
    for (int i = 0; i < 6; i++)
    {
        d = d + 0.1;
        float s = SceneDistance(p + n * d).x;
        occ = occ * (1.0 - max(0.0, 0.2 * (d - s) / d));
    }
    return occ;
}

// Hard shadow: lit only when the march toward the light runs out of distance.
float LightVisibility(const in vec3 start, const in vec3 dir, const in float dist)
{
    C_Ray ray = C_Ray(start, dir);
    C_HitInfo hit;
    MarchRay(ray, dist, 32, hit);
    return step(0.0, hit.fDistance) * step(dist, hit.fDistance);
}

float DiffuseTerm(const in vec3 lightDir, const in vec3 n)
{
    return max(0.0, dot(lightDir, n));
}

// Normalised Blinn-Phong.
float SpecularTerm(const in C_Ray ray, const in C_Material material, const in vec3 lightDir, const in vec3 n)
{
    vec3 h = normalize(lightDir - ray.vDir);
    float c = max(0.0, dot(h, n));
    float power = exp2(4.0 + 6.0 * material.fSmoothness);
    return pow(c, power) * (power + 2.0) / 8.0;
}

// Schlick's curve scaled by k; the fifth power by products, so that grazing
// and face-on give their exact weights.
float FresnelWeight(const in vec3 n, const in vec3 d, const in float r0, const in float k)
{
    float c = dot(n, -d);
    float x = clamp(1.0 - c, 0.0, 1.0);
    float x5 = x * x * x * x * x;
    return r0 + (1.0 - r0) * x5 * k;
}

vec3 ShadeSurface(const in C_Ray ray, const in C_HitInfo hit, const in C_Material material, const in vec3 n,
                  const in vec3 reflected)
{
    float occ = AmbientOcclusion(hit.vPos, n);
    vec3 diffuse = AmbientLight(n) * occ;
    vec3 specular = reflected * occ;

    vec3 lightPos = LightPosition() - vec3(3.0, 0.0, 0.0);
    vec3 v = lightPos - hit.vPos;
    vec3 L = normalize(v);
    float dist = length(v);
    float attenuation = 1.0 / (dist * dist);
    float vis = LightVisibility(hit.vPos + 0.1 * L, L, dist - 0.1);
    vec3 lc = LightColor() * vis * attenuation;

    diffuse = diffuse + DiffuseTerm(L, n) * lc;
    specular = specular + SpecularTerm(ray, material, L, n) * lc;
    diffuse = diffuse * material.cAlbedo;

    float F = FresnelWeight(n, ray.vDir, material.fR0, 0.9 * material.fSmoothness + 0.1);
    return mix(diffuse, specular, F);
}

// Fog toward the background, then an unshadowed glow around the light,
// measured over the visible part of the ray.
void ApplyFogAndGlow(inout vec3 colour, const in C_Ray ray, const in C_HitInfo hit)
{
    float T = exp(-0.025 * hit.fDistance);
    colour = mix(BackgroundColor(ray.vDir), colour, T);
    vec3 c = LightPosition();
    float s = clamp(dot(c - ray.vOrigin, ray.vDir), 0.0, hit.fDistance);
    vec3 q = ray.vOrigin + s * ray.vDir;
    float r = length(q - c);
    colour = colour + LightColor() * 0.01 / (r * r);
}

// The second bounce sees only the background.
vec3 ShadeReflection(const in C_Ray ray)
{
    C_HitInfo hit;
    MarchRay(ray, 16.0, 32, hit);
    vec3 colour;
    if (hit.vObjectId.x < 0.5)
    {
        colour = BackgroundColor(ray.vDir);
    }
    else
    {
        C_Material material = GetMaterial(hit);
        vec3 n = SceneNormal(hit.vPos);
        vec3 reflected = BackgroundColor(reflect(ray.vDir, n));
        colour = ShadeSurface(ray, hit, material, n, reflected);
    }
    ApplyFogAndGlow(colour, ray, hit);
    return colour;
}

vec3 ShadePrimary(const in C_Ray ray)
{
    C_HitInfo hit;
    MarchRay(ray, 30.0, 256, hit);
    vec3 colour;
    if (hit.vObjectId.x < 0.5)
    {
        colour = BackgroundColor(ray.vDir);
    }
    else
    {
        C_Material material = GetMaterial(hit);
        vec3 n = SceneNormal(hit.vPos);
        vec3 r = reflect(ray.vDir, n);
        C_Ray reflectedRay = C_Ray(hit.vPos + 0.05 * r, r);
        vec3 reflected = ShadeReflection(reflectedRay);
        colour = ShadeSurface(ray, hit, material, n, reflected);
    }
    ApplyFogAndGlow(colour, ray, hit);
    return colour;
}

vec3 ToneMap(const in vec3 c)
{
    return 1.0 - exp2(-c);
}

// Screen-space beams from above the top edge over a soft base; multiplies
// the tone-mapped picture.
vec3 LightShafts()
{
    float pi = 3.141592654;
    float s = iGlobalTime / 400.0;
    vec2 p = gl_FragCoord.xy / iResolution.xy;
    p.x = p.x + 0.58 + abs(sin(s));
    p.y = p.y - (0.61 + s);
    float d = distance(p, vec2(0.5, 0.5));
    vec3 col = (1.0 - 0.75 * d) * vec3(0.33, 0.35, 0.5)
             + 0.5 * (1.0 - distance(p, vec2(1.0, 0.0))) * vec3(0.35, 0.65, 0.45);
    for (int i = 0; i < 3; i++)
    {
        float g = float(i);
        float angle = 0.5 * sin(0.15 * s * g) - pi / 3.0;
        vec3 axis = normalize(vec3(cos(angle), sin(angle), 0.0));
        p.x = p.x - 0.2;
        float fall = 1.0 / (0.5 + 7.0 * d + 10.0 * (d * d));
        vec3 m = normalize(vec3(p.x - 0.5, p.y - 0.5, 0.0));
        col = col + smoothstep(cos(radians(15.0 + 2.0 * g)), cos(radians(1.0)), dot(m, axis)) * fall
                        * vec3(0.3, 0.45, 0.65);
    }
    col = col + 0.05 * sin(0.5 * s);
    return col;
}

void main()
{
    fTime = iGlobalTime;
    float r = gl_FragCoord.y / iResolution.y;
    if (r > 0.15 && r < 0.85)
    {
        vec3 eye;
        vec3 target;
        CameraPath(eye, target);
        C_Ray ray;
        LookAtCameraRay(eye, target, ray);
        vec3 colour = ShadePrimary(ray);
        colour = 2.5 * colour;
        colour = ToneMap(colour);
        gl_FragColor = vec4(colour * LightShafts(), 1.0);
    }
    else
    {
        gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0);
    }
}
