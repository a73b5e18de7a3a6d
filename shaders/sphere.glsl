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

    // Two interleaved columns of links, the second turned 45 degrees and
    // hanging half a link lower. Only the pair of links bracketing the sample
    // along a column can be the nearest (see WorldDistance); the rest are
    // farther by a margin, so they can neither win nor tie, and the pair
    // keeps the fixed order that decides ties.
    for (int column = 0; column < 2; column++)
    {
        float shift = 0.5 * float(column);
        float first = clamp(floor(-q.y - shift), 0.0, 8.0);
        for (int n = 0; n < 2; n++)
        {
            vec3 g = q + vec3(0.0, first + float(n) + shift, 0.0);
            vec3 local = RotateY(g, column == 0 ? SinCos(halfPi) : SinCos(pi / 4.0));
            vec4 candidate = vec4(TorusDistance(local, 0.3, 0.1), 1.0, g.z, g.y);
            nearest = SelectNearer(nearest, candidate);
        }
    }
    if (nearest.y < 0.0)
    {
        return vec4(nearest.x, 2.0, atan(nearest.z, nearest.w), q.y);
    }
    return vec4(nearest.x, nearest.y, atan(nearest.z, nearest.w), nearest.w);
}

// The distance alone, at p + k, for the marches, the normal and the
// occlusion; SceneDistance names the surface where a march stops. The value
// is exactly SceneDistance(p + k).x:
// - The nearest of several elements of one kind is taken on squared lengths
//   before one square root: a correctly rounded square root is monotonic and
//   sqrt(y * y) == |y|, and subtracting the shared radius keeps the order.
// - Only the two links of each column that bracket the sample are measured.
// - k is the normal's sample offset (a constant) or zero. The compiler folds
//   a constant k.y into each link's own offset, (offset + k.y) + p.y; the
//   link offsets are not constants here, so that sum is written out.
float WorldDistance(const in vec3 p, const in vec3 k)
{
    float t = fTime;
    float pi = 3.141592654;
    float halfPi = pi / 2.0;

    vec3 q = p + k;
    q.x = mod(q.x, 6.0) - 3.0;
    q.z = mod(q.z, 6.0) - 3.0;
    q.x = q.x + sin(t);
    float sphere = SphereDistance(q, 1.0);

    // Studs: max(|y| - 0.2, length(xz) - 0.2) is sqrt(max(y * y, xz . xz))
    // - 0.2, so the nearest stud is the one with the least max(y * y, xz . xz).
    float stud = 1.0e30;
    float c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(0.0, cos(theta), sin(theta));
        vec3 local = RotateX(g, theta);
        stud = min(stud, max(local.y * local.y, dot(local.xz, local.xz)));
        c += 2.0 / 12.0;
    }
    c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(sin(theta), 0.0, cos(theta));
        vec3 local = RotateX(RotateZ(g, halfPi), theta + halfPi);
        stud = min(stud, max(local.y * local.y, dot(local.xz, local.xz)));
        c += 2.0 / 12.0;
    }
    c = 0.0;
    for (int i = 0; i < 13; i++)
    {
        float theta = c * pi;
        vec3 g = q + vec3(cos(theta), sin(theta), 0.0);
        vec3 local = RotateX(RotateY(g, halfPi), theta + halfPi);
        stud = min(stud, max(local.y * local.y, dot(local.xz, local.xz)));
        c += 2.0 / 12.0;
    }

    // Links: a ring lies within 0.3 of its centre along the column. Moving
    // any link outside the pair that brackets the sample one link toward it
    // brings every point of its ring at least 0.4 closer along the column at
    // the same place across it, so that pair (the end pair past an end of
    // the column) is nearer than the rest by a margin far above rounding.
    // The second column hangs half a link lower.
    float link = 1.0e30;
    float along = -q.y;
    for (int column = 0; column < 2; column++)
    {
        float shift = 0.5 * float(column);
        float first = clamp(floor(along - shift), 0.0, 8.0);
        for (int n = 0; n < 2; n++)
        {
            vec3 g = vec3(q.x, ((first + float(n) + shift) + k.y) + p.y, q.z);
            vec3 local = RotateY(g, column == 0 ? SinCos(halfPi) : SinCos(pi / 4.0));
            vec2 ring = vec2(length(local.yz) - 0.3, local.x);
            link = min(link, dot(ring, ring));
        }
    }

    return min(sphere, min(sqrt(stud) - 0.2, sqrt(link) - 0.1));
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

// One ray march in progress: the ray, its limits, and in hit the point and
// distance of the sample it is at.
struct C_March
{
    C_Ray ray;
    float fMaxDistance;
    int iBudget;
    int iPass;
    C_HitInfo hit;
};

void StartMarch(const in C_Ray ray, const in float maxDistance, const in int stepBudget, out C_March march)
{
    march.ray = ray;
    march.fMaxDistance = maxDistance;
    march.iBudget = stepBudget;
    march.iPass = 0;
    march.hit.fDistance = 0.1;
    march.hit.vPos = ray.vOrigin + ray.vDir * march.hit.fDistance;
    march.hit.vObjectId = vec3(0.0, 0.0, 0.0);
}

// Takes the distance s sampled at hit.vPos and steps by the full estimate.
// True when the march has ended: within 0.01 of a surface, at or past
// maxDistance, over its budget, or after 129 passes whatever the budget.
// The last sample stays in hit.vPos; after the 129th pass fDistance is one
// step beyond it.
bool MarchStep(inout C_March march, const in float s)
{
    bool stop = abs(s) <= 0.01 || march.hit.fDistance >= march.fMaxDistance || march.iPass > march.iBudget;
    if (!stop)
    {
        march.hit.fDistance = march.hit.fDistance + s;
        march.iPass = march.iPass + 1;
        if (march.iPass <= 128)
        {
            march.hit.vPos = march.ray.vOrigin + march.ray.vDir * march.hit.fDistance;
        }
    }
    return stop || march.iPass > 128;
}

bool MarchMissed(const in C_March march)
{
    return march.hit.fDistance >= march.fMaxDistance;
}

// Result of an ended march. A march that stops short of maxDistance without
// reaching a surface still counts as a hit where it stopped; a miss reports
// the distance 1000. The id stays 1 until NameSurface asks SceneDistance.
void EndMarch(const in C_March march, out C_HitInfo hit)
{
    hit = march.hit;
    hit.vObjectId = vec3(1.0, 0.0, 0.0);
    if (MarchMissed(march))
    {
        hit.vPos = march.ray.vOrigin + march.ray.vDir * hit.fDistance;
        hit.vObjectId.x = 0.0;
        hit.fDistance = 1000.0;
    }
}

// The marches step on the distance alone; the full sample at the point where
// one stopped gives the id and parameters the march would have recorded
// there, ties between elements included.
void NameSurface(inout C_HitInfo hit)
{
    vec4 s = SceneDistance(hit.vPos);
    if (hit.vObjectId.x > 0.5)
    {
        hit.vObjectId = s.yzw;
    }
}

// One march on its own, as LightVisibility uses it; the pixel's marches run
// in MarchAndShadow, with the same steps.
void MarchRay(const in C_Ray ray, const in float maxDistance, const in int stepBudget, out C_HitInfo hit)
{
    C_March march;
    StartMarch(ray, maxDistance, stepBudget, march);
    for (int i = 0; i <= 128; i++)
    {
        if (MarchStep(march, WorldDistance(march.hit.vPos, vec3(0.0, 0.0, 0.0))))
        {
            break;
        }
    }
    // A miss keeps the last sample's parameters.
    vec3 last = SceneDistance(march.hit.vPos).yzw;
    EndMarch(march, hit);
    hit.vObjectId = vec3(hit.vObjectId.x > 0.5 ? last.x : 0.0, last.yz);
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

// Tetrahedral central differences: four samples, none at p itself. The
// offsets stay constants: the compiler folds them into the elements' own
// offsets, and a loop over them would round differently.
vec3 SceneNormal(const in vec3 p)
{
    float e = 0.025;
    vec3 k1 = vec3(e, -e, -e);
    vec3 k2 = vec3(-e, -e, e);
    vec3 k3 = vec3(-e, e, -e);
    vec3 k4 = vec3(e, e, e);
    float f1 = WorldDistance(p, k1);
    float f2 = WorldDistance(p, k2);
    float f3 = WorldDistance(p, k3);
    float f4 = WorldDistance(p, k4);
    return normalize(k1 * f1 + k2 * f2 + k3 * f3 + k4 * f4);
}

// One of six samples along the normal, d = 0.1 to 0.6: open space keeps the
// factor, a surface closer than d darkens it.
float OcclusionStep(const in float occ, const in float d, const in float s)
{
    return occ * (1.0 - max(0.0, 0.2 * (d - s) / d));
}

float AmbientOcclusion(const in vec3 p, const in vec3 n)
{
    float occ = 1.0;
    float d = 0.0;
    for (int i = 0; i < 6; i++)
    {
        d = d + 0.1;
        occ = OcclusionStep(occ, d, WorldDistance(p + n * d, vec3(0.0, 0.0, 0.0)));
    }
    return occ;
}

// The shadow ray of a surface point: from 0.1 off the surface toward the
// point the surface lighting uses, 3 units left of the glow's centre.
void ShadowRay(const in vec3 p, out C_Ray ray, out float dist)
{
    vec3 lightPos = LightPosition() - vec3(3.0, 0.0, 0.0);
    vec3 v = lightPos - p;
    vec3 L = normalize(v);
    dist = length(v) - 0.1;
    ray = C_Ray(p + 0.1 * L, L);
}

// Hard shadow: lit only when the march toward the light runs out of distance.
float LightVisibility(const in vec3 start, const in vec3 dir, const in float dist)
{
    C_HitInfo hit;
    MarchRay(C_Ray(start, dir), dist, 32, hit);
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


// What the pixel's sample loops find about one surface point.
struct C_Surface
{
    C_HitInfo hit;
    vec3 vNormal;
    float fOcclusion;
    float fVisibility;
};

vec3 ShadeSurface(const in C_Ray ray, const in C_Surface surface, const in C_Material material,
                  const in vec3 reflected)
{
    vec3 n = surface.vNormal;
    float occ = surface.fOcclusion;
    vec3 diffuse = AmbientLight(n) * occ;
    vec3 specular = reflected * occ;

    vec3 lightPos = LightPosition() - vec3(3.0, 0.0, 0.0);
    vec3 v = lightPos - surface.hit.vPos;
    vec3 L = normalize(v);
    float dist = length(v);
    float attenuation = 1.0 / (dist * dist);
    vec3 lc = LightColor() * surface.fVisibility * attenuation;

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

// ---- the pixel's samples ----

// Stages of a ray's loop.
const int STAGE_MARCH = 0;
const int STAGE_SHADOW = 1;
const int STAGE_DONE = 2;

// Follows a march and then the shadow ray from where it hit, one distance
// sample per pass, the shadow only after a hit.
void MarchAndShadow(const in C_Ray ray, const in float maxDistance, const in int stepBudget, const in bool running,
                    out C_HitInfo hit, out float visibility)
{
    C_March march;
    StartMarch(ray, maxDistance, stepBudget, march);
    int stage = running ? STAGE_MARCH : STAGE_DONE;
    hit = march.hit;
    visibility = 0.0;
    // At most 129 samples for a camera ray, 34 for any other, and 34 for the
    // shadow ray.
    for (int i = 0; i < 163; i++)
    {
        if (MarchStep(march, WorldDistance(march.hit.vPos, vec3(0.0, 0.0, 0.0))))
        {
            if (stage == STAGE_MARCH)
            {
                EndMarch(march, hit);
                C_Ray shadowRay;
                float dist;
                ShadowRay(hit.vPos, shadowRay, dist);
                StartMarch(shadowRay, dist, 32, march);
                stage = hit.vObjectId.x > 0.5 ? STAGE_SHADOW : STAGE_DONE;
            }
            else
            {
                visibility = MarchMissed(march) ? 1.0 : 0.0;
                stage = STAGE_DONE;
            }
        }
        if (stage == STAGE_DONE)
        {
            break;
        }
    }
}

// The driver runs eight pixels together and runs a loop until the slowest of
// them is done, with at least one pass even where none has anything to do.
// Separate marches and occlusion loops would each cost their slowest pixel,
// so each ray shares one loop with its shadow ray, and the two occlusions
// share another. The normals sit between, outside any loop (SceneNormal).
void TraceSamples(const in C_Ray cameraRay, out C_Surface camera, out C_Ray mirrorRay, out C_Surface mirror)
{
    MarchAndShadow(cameraRay, 30.0, 256, true, camera.hit, camera.fVisibility);
    bool hit = camera.hit.vObjectId.x > 0.5;
    camera.vNormal = SceneNormal(camera.hit.vPos);

    vec3 r = reflect(cameraRay.vDir, camera.vNormal);
    mirrorRay = C_Ray(camera.hit.vPos + 0.05 * r, r);
    MarchAndShadow(mirrorRay, 16.0, 32, hit, mirror.hit, mirror.fVisibility);
    bool mirrorHit = mirror.hit.vObjectId.x > 0.5;
    mirror.vNormal = SceneNormal(mirror.hit.vPos);

    // Six samples at the camera hit, then six at the reflected hit. d runs
    // through the same float sums as AmbientOcclusion's loop, so every sample
    // point and factor is the same.
    float occ = 1.0;
    float d = 0.0;
    camera.fOcclusion = 1.0;
    mirror.fOcclusion = 1.0;
    int count = hit ? (mirrorHit ? 12 : 6) : 0;
    for (int i = 0; i < 12; i++)
    {
        if (i >= count)
        {
            break;
        }
        // Chosen field by field: GLSL ES 1.00 has no ?: on structures.
        vec3 at = i < 6 ? camera.hit.vPos : mirror.hit.vPos;
        vec3 normal = i < 6 ? camera.vNormal : mirror.vNormal;
        d = d + 0.1;
        occ = OcclusionStep(occ, d, WorldDistance(at + normal * d, vec3(0.0, 0.0, 0.0)));
        if (i == 5)
        {
            camera.fOcclusion = occ;
            occ = 1.0;
            d = 0.0;
        }
    }
    mirror.fOcclusion = occ;
    NameSurface(camera.hit);
    NameSurface(mirror.hit);
}

// ---- shading ----

// The second bounce sees only the background.
vec3 ShadeReflection(const in C_Ray ray, const in C_Surface surface)
{
    vec3 colour;
    if (surface.hit.vObjectId.x < 0.5)
    {
        colour = BackgroundColor(ray.vDir);
    }
    else
    {
        C_Material material = GetMaterial(surface.hit);
        vec3 reflected = BackgroundColor(reflect(ray.vDir, surface.vNormal));
        colour = ShadeSurface(ray, surface, material, reflected);
    }
    ApplyFogAndGlow(colour, ray, surface.hit);
    return colour;
}

vec3 ShadePrimary(const in C_Ray ray)
{
    C_Surface camera;
    C_Ray mirrorRay;
    C_Surface mirror;
    TraceSamples(ray, camera, mirrorRay, mirror);
    vec3 colour;
    if (camera.hit.vObjectId.x < 0.5)
    {
        colour = BackgroundColor(ray.vDir);
    }
    else
    {
        C_Material material = GetMaterial(camera.hit);
        vec3 reflected = ShadeReflection(mirrorRay, mirror);
        colour = ShadeSurface(ray, camera, material, reflected);
    }
    ApplyFogAndGlow(colour, ray, camera.hit);
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
