#include "tools/capture/capture_options.h"

#include "platform/sound_ring.h"
#include "state/show_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char reason[512];

static const char* Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    return reason;
}

const char* CaptureUsage(void)
{
    static char usage[4096];
    snprintf(usage, sizeof usage,
           "usage: brinelux-capture MODE [options]\n"
           "  --out FILE.mp4|FILE.mkv   the show as video through ffmpeg (H.264 with AAC or FLAC)\n"
           "  --png-dir DIR             every frame as DIR/frame-000001.png ...\n"
           "      --fps RATE            frames per second from 1 to 1000: 25 (default), 60, 30000/1001, 29.97\n"
           "      --smooth              each video frame the picture at its own time of the song, (frame - 1) / RATE s,\n"
           "                            not the show's next 25-a-second frame: smooth motion at any --fps\n"
           "      --frames A-B          write only frames A to B (A- for A to the end)\n"
           "      --crf N               H.264 quality from 0 (best) to 51; 18 by default\n"
           "      --lossless            FFV1 video and FLAC sound that decode to the frames and song exactly (.mkv)\n"
           "      --size WxH            frames drawn at that size, 64x48 to 8192x6144 (default %dx%d);\n"
           "                            another shape than 4:3 puts the picture between black bars\n"
           "      --supersample N       each pixel drawn N x N times and averaged (1 to 4, default 1)\n"
           "      --cache-mb N          memory for pictures the show shows again, in MiB (default 1024); beyond\n"
           "                            it they wait in a temporary file beside the output\n"
           "  --wav FILE.wav            the song alone, 16-bit mono %d Hz\n"
           "      --audio-block N       render N samples per call (1 to a full ring, %d) instead of the live schedule\n"
           "      --audio-schedule FILE render calls of the sample counts listed in FILE (a page's log), in order\n"
           "  --still PART --png FILE   one frame: title, thanks, water or spheres\n"
           "      --time T              the scene's iGlobalTime (default 0.04)\n"
           "      --size WxH, --supersample N   as for --out\n"
           "  --bench                   frame and encoder times of each part, start-up costs, song speed\n",
           SHOW_WIDTH, SHOW_HEIGHT, (int)SOUND_SAMPLE_RATE, (int)SOUND_RING_SAMPLES);
    return usage;
}

static int64_t Gcd(int64_t a, int64_t b)
{
    while (b != 0) {
        int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Digits only, at most 7 of them: no sign, no blanks, no overflow.
static bool ParseCount(const char* text, size_t length, int64_t* value)
{
    if (length == 0 || length > 7)
        return false;
    int64_t v = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

bool ParseFrameRate(const char* text, int64_t* num, int64_t* den, bool* termsTooLarge)
{
    if (termsTooLarge)
        *termsTooLarge = false;
    int64_t n = 0, d = 1;
    const char* slash = strchr(text, '/');
    const char* dot = strchr(text, '.');
    if (slash) {
        if (!ParseCount(text, (size_t)(slash - text), &n) || !ParseCount(slash + 1, strlen(slash + 1), &d))
            return false;
    } else if (dot) {
        // "29.97" is 2997/100: the decimal taken exactly.
        int64_t whole = 0, frac = 0;
        size_t fracDigits = strlen(dot + 1);
        if (!ParseCount(text, (size_t)(dot - text), &whole) || !ParseCount(dot + 1, fracDigits, &frac))
            return false;
        d = 1;
        for (size_t i = 0; i < fracDigits; i++)
            d *= 10;
        n = whole * d + frac;
    } else if (!ParseCount(text, strlen(text), &n)) {
        return false;
    }
    if (n <= 0 || d <= 0)
        return false;
    int64_t g = Gcd(n, d);
    n /= g;
    d /= g;
    // At least one frame a second: the sound kept for the video spans whole
    // frames, and a frame of days would have to hold days of it.
    if (n > 1000 * d || n < d)
        return false;
    if (n > 1000000 || d > 1000000) {
        if (termsTooLarge)
            *termsTooLarge = true;
        return false;
    }
    *num = n;
    *den = d;
    return true;
}

bool ParseFrameSize(const char* text, int32_t* width, int32_t* height)
{
    const char* x = strchr(text, 'x');
    int64_t w = 0, h = 0;
    if (!x || !ParseCount(text, (size_t)(x - text), &w) || !ParseCount(x + 1, strlen(x + 1), &h))
        return false;
    if (w < MIN_FRAME_WIDTH || w > MAX_FRAME_WIDTH || h < MIN_FRAME_HEIGHT || h > MAX_FRAME_HEIGHT)
        return false;
    *width = (int32_t)w;
    *height = (int32_t)h;
    return true;
}

static bool EndsWith(const char* text, const char* suffix)
{
    size_t a = strlen(text), b = strlen(suffix);
    return a > b && strcmp(text + a - b, suffix) == 0;
}

static bool ParseFrames(const char* text, int32_t* first, int32_t* last)
{
    const char* dash = strchr(text, '-');
    int64_t a = 0, b = 0;
    if (!dash || !ParseCount(text, (size_t)(dash - text), &a) || a < 1)
        return false;
    if (dash[1] == 0) {
        b = 0;
    } else if (!ParseCount(dash + 1, strlen(dash + 1), &b) || b < a) {
        return false;
    }
    *first = (int32_t)a;
    *last = (int32_t)b;
    return true;
}

const char* ParseCaptureOptions(int argc, char** argv, CaptureOptions* o)
{
    memset(o, 0, sizeof *o);
    o->fpsNum = 25;
    o->fpsDen = 1;
    o->firstFrame = 1;
    o->time = 0.04f;
    o->width = SHOW_WIDTH;
    o->height = SHOW_HEIGHT;
    o->supersample = 1;
    o->crf = -1;
    o->cacheMb = 1024;
    bool bench = false, help = false, fpsGiven = false, framesGiven = false, timeGiven = false;
    bool blockGiven = false, stillGiven = false, supersampleGiven = false, cacheGiven = false;

    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--bench") == 0) {
            bench = true;
            continue;
        }
        if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
            help = true;
            continue;
        }
        if (strcmp(arg, "--lossless") == 0) {
            o->lossless = true;
            continue;
        }
        if (strcmp(arg, "--smooth") == 0) {
            o->smooth = true;
            continue;
        }
        static const char* const valued[] = {"--out", "--png-dir", "--wav", "--audio-block", "--audio-schedule",
                                             "--fps", "--frames", "--still", "--png", "--time",
                                             "--size", "--supersample", "--crf", "--cache-mb"};
        bool known = false;
        for (const char* name : valued)
            known = known || strcmp(arg, name) == 0;
        if (!known)
            return Fail("unknown option '%s' (see --help)", arg);
        if (i + 1 >= argc || argv[i + 1][0] == 0)
            return Fail("%s needs a value", arg);
        const char* value = argv[++i];

        if (strcmp(arg, "--out") == 0) {
            if (!EndsWith(value, ".mp4") && !EndsWith(value, ".mkv"))
                return Fail("--out takes a file name ending in .mp4 or .mkv, not '%s'", value);
            o->out = value;
            o->outIsMkv = EndsWith(value, ".mkv");
        } else if (strcmp(arg, "--png-dir") == 0) {
            o->pngDir = value;
        } else if (strcmp(arg, "--wav") == 0) {
            o->wav = value;
        } else if (strcmp(arg, "--audio-block") == 0) {
            int64_t n = 0;
            if (!ParseCount(value, strlen(value), &n) || n < 1 || n > SOUND_RING_SAMPLES)
                return Fail("--audio-block takes a sample count from 1 to %d, not '%s'", (int)SOUND_RING_SAMPLES, value);
            o->audioBlock = (int32_t)n;
            blockGiven = true;
        } else if (strcmp(arg, "--audio-schedule") == 0) {
            o->audioSchedule = value;
        } else if (strcmp(arg, "--fps") == 0) {
            bool termsTooLarge = false;
            bool parsed = ParseFrameRate(value, &o->fpsNum, &o->fpsDen, &termsTooLarge);
            if (!parsed && termsTooLarge)
                return Fail("--fps takes a rate whose fraction in lowest terms has both terms at most 1000000 "
                            "(such as 25, 29.97 or 30000/1001), not '%s'", value);
            if (!parsed)
                return Fail("--fps takes a rate from 1 to 1000 frames per second such as 25, 60, 29.97 or 30000/1001, not '%s'",
                            value);
            fpsGiven = true;
        } else if (strcmp(arg, "--frames") == 0) {
            if (!ParseFrames(value, &o->firstFrame, &o->lastFrame))
                return Fail("--frames takes A-B with 1 <= A <= B (or A- for A to the end), not '%s'", value);
            framesGiven = true;
        } else if (strcmp(arg, "--still") == 0) {
            if (!FindShowPart(value, &o->still))
                return Fail("--still takes title, thanks, water or spheres, not '%s'", value);
            stillGiven = true;
        } else if (strcmp(arg, "--png") == 0) {
            o->png = value;
        } else if (strcmp(arg, "--size") == 0) {
            if (!ParseFrameSize(value, &o->width, &o->height))
                return Fail("--size takes WIDTHxHEIGHT from %dx%d to %dx%d (each side in its range), not '%s'",
                            MIN_FRAME_WIDTH, MIN_FRAME_HEIGHT, MAX_FRAME_WIDTH, MAX_FRAME_HEIGHT, value);
            o->sizeGiven = true;
        } else if (strcmp(arg, "--supersample") == 0) {
            int64_t n = 0;
            if (!ParseCount(value, strlen(value), &n) || n < 1 || n > 4)
                return Fail("--supersample takes 1, 2, 3 or 4, not '%s'", value);
            o->supersample = (int32_t)n;
            supersampleGiven = true;
        } else if (strcmp(arg, "--cache-mb") == 0) {
            if (!ParseCount(value, strlen(value), &o->cacheMb))
                return Fail("--cache-mb takes a size in MiB from 0 to 9999999, not '%s'", value);
            cacheGiven = true;
        } else if (strcmp(arg, "--crf") == 0) {
            int64_t n = 0;
            if (!ParseCount(value, strlen(value), &n) || n > 51)
                return Fail("--crf takes a quality from 0 (best) to 51, not '%s'", value);
            o->crf = (int32_t)n;
        } else {
            double t = 0.0;
            if (!ParseSceneTime(value, &t))
                return Fail("--time takes seconds of scene time between -1e6 and 1e6, written in decimal "
                            "(2.5, -3, 1e-3), not '%s'", value);
            o->time = (float)t;
            timeGiven = true;
        }
    }

    int modes = (o->out || o->pngDir ? 1 : 0) + (o->wav ? 1 : 0) + (stillGiven ? 1 : 0) + (bench ? 1 : 0);
    if (help) {
        o->mode = MODE_HELP;
        return nullptr;
    }
    if (modes == 0)
        return Fail("nothing to do: give --out, --png-dir, --wav, --still or --bench (see --help)");
    if (modes > 1)
        return Fail("--out/--png-dir, --wav, --still and --bench are separate runs: give one of them");
    if ((fpsGiven || framesGiven) && !(o->out || o->pngDir))
        return Fail("--fps and --frames apply to --out and --png-dir");
    if (o->smooth && !(o->out || o->pngDir))
        return Fail("--smooth applies to --out and --png-dir");
    if ((blockGiven || o->audioSchedule) && !o->wav)
        return Fail("--audio-block and --audio-schedule apply to --wav");
    if (blockGiven && o->audioSchedule)
        return Fail("--audio-block and --audio-schedule are two schedules: give one of them");
    if (o->png && !stillGiven)
        return Fail("--png names the file of a --still");
    if (stillGiven && !o->png)
        return Fail("--still needs --png FILE");
    if (timeGiven && !(stillGiven && IsScenePart(o->still)))
        return Fail("--time applies to --still water and --still spheres");
    if ((o->sizeGiven || supersampleGiven) && !(o->out || o->pngDir || stillGiven))
        return Fail("--size and --supersample apply to --out, --png-dir and --still");
    if (cacheGiven && !(o->out || o->pngDir))
        return Fail("--cache-mb applies to --out and --png-dir");
    if ((o->crf >= 0 || o->lossless) && !o->out)
        return Fail("--crf and --lossless apply to --out");
    if (o->lossless && !o->outIsMkv)
        return Fail("--lossless writes FFV1 video and FLAC sound, which need an .mkv, not '%s'", o->out);
    if (o->lossless && o->crf >= 0)
        return Fail("--lossless and --crf are two qualities: give one of them");
    // H.264 in 4:2:0 halves both sides of the colour planes.
    if (o->out && !o->lossless && (o->width % 2 != 0 || o->height % 2 != 0))
        return Fail("--out in H.264 needs an even width and height, not %dx%d (or use --lossless)", o->width,
                    o->height);
    o->mode = o->out || o->pngDir ? MODE_FRAMES : o->wav ? MODE_WAV : stillGiven ? MODE_STILL : MODE_BENCH;
    return nullptr;
}
