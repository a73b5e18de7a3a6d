#include "tools/capture/video_format.h"

// The sound's AAC rate. This song's square and saw voices carry strong
// overtones up to 22 kHz; ffmpeg's encoder keeps adding detail up to this
// rate and nothing beyond it (224 and 256 kb/s give the same stream size).
static const int AAC_KBPS = 192;

static int Crf(const CaptureOptions& o) { return o.crf >= 0 ? o.crf : DEFAULT_CRF; }

// What the colours of the stream are: RGB as drawn (sRGB, full range) or
// BT.709 in limited range. Given to the encoder (H.264 carries them in its
// stream) and again to the mux (FFV1 does not, and the intermediate file
// keeps none): players read them from the container.
static std::vector<std::string> ColourTags(const CaptureOptions& o)
{
    if (o.lossless)
        return {"-colorspace", "rgb", "-color_primaries", "bt709", "-color_trc", "iec61966-2-1", "-color_range", "pc"};
    return {"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"};
}

// FFV1 refuses a slice whose samples would overflow its counters (about
// 4.97 million pixels a slice for 8-bit RGB): 2 x 2 slices up to there, as
// for every size the show drew before, then 3 x 3, then 4 x 4, which covers
// the largest size accepted.
static int FfvSlices(const CaptureOptions& o)
{
    const int64_t most = (int64_t(8) << 24) / 27;
    for (int64_t side = 2; side < 4; side++)
        if (((o.width + side - 1) / side) * ((o.height + side - 1) / side) <= most)
            return (int)(side * side);
    return 16;
}

std::vector<std::string> VideoCodecArgs(const CaptureOptions& o)
{
    std::vector<std::string> args;
    if (o.lossless)
        // The frames as drawn, in RGB: a repacking, not a conversion. Every
        // frame stands alone with checksummed slices, so damage stays local.
        // The range coder saves 1 % on the water and 14 % on the spheres;
        // the larger context model costs 5 % on the water.
        args = {"-pix_fmt", "bgr0", "-c:v", "ffv1", "-level", "3", "-g", "1", "-slices", std::to_string(FfvSlices(o)),
                "-slicecrc", "1",
                "-coder", "1"};
    else
        // The matrix and range stated, not left to the scaler's default
        // (BT.601). Exact rounding and full chroma keep the colours' mean
        // where the show drew it.
        args = {"-vf", "scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int,format=yuv420p",
                "-c:v", "libx264", "-preset", "medium", "-crf", std::to_string(Crf(o))};
    std::vector<std::string> tags = ColourTags(o);
    args.insert(args.end(), tags.begin(), tags.end());
    return args;
}

std::vector<std::string> MuxArgs(const CaptureOptions& o)
{
    std::vector<std::string> args = ColourTags(o);
    // Matroska leaves a track unmarked unless told; players may then pick neither.
    if (o.outIsMkv)
        args.insert(args.end(), {"-c:a", "flac", "-compression_level", "8", "-disposition:v:0", "default",
                                 "-disposition:a:0", "default"});
    else
        args.insert(args.end(), {"-c:a", "aac", "-b:a", std::to_string(AAC_KBPS) + "k"});
    return args;
}

// A copy starts with a key frame where an encoding in place would mostly
// not have one. Measured here at CRF 18, a sphere key frame is 2 to 3.5
// times an average frame (256 x 192 to 1024 x 768): a copy of 20 frames adds
// 4-13 % to its own stretch's bytes and spares encoding it (0.1 s a frame at
// 1024 x 768, 0.5 s at 2880 x 2160 on two cores). A held card's key frame is
// what 300 of its held frames cost (11 KB against 37 bytes at 1024 x 768),
// but x264 still spends 24 ms (1024 x 768) to 0.4 s (2880 x 2160) on each:
// held pictures are copied in units of 2 s, 0.4 % of the whole show's bytes
// at 1024 x 768 for 500 frames not encoded. FFV1 makes every frame a key
// frame: there every repeat is copied.
CopyRule StretchCopyRule(const CaptureOptions& o)
{
    if (o.lossless)
        return {1, 1};
    return {20, 50};
}

std::string DescribeCodecs(const CaptureOptions& o)
{
    std::string video = o.lossless ? "FFV1 (RGB, lossless)"
                                   : "H.264 CRF " + std::to_string(Crf(o)) + " (BT.709, limited range)";
    std::string audio = o.outIsMkv ? "FLAC" : "AAC " + std::to_string(AAC_KBPS) + " kb/s";
    return video + " and " + audio;
}
