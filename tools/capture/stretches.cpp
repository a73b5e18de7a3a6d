#include "tools/capture/stretches.h"

#include <stddef.h>
#include <unordered_map>

void PlanStretches(const int32_t* picture, int32_t count, const CopyRule& rule, std::vector<VideoStretch>* stretches)
{
    stretches->clear();
    if (count <= 0)
        return;
    // period[i]: frames back to the last frame that showed frame i's picture.
    std::vector<int32_t> period((size_t)count, 0);
    std::unordered_map<int32_t, int32_t> lastShown;
    for (int32_t i = 0; i < count; i++) {
        if (picture[i] < 0)
            continue;
        auto found = lastShown.find(picture[i]);
        if (found != lastShown.end())
            period[(size_t)i] = i - found->second;
        lastShown[picture[i]] = i;
    }
    // copyOf[i]: the frame whose encoding frame i copies, -1 when encoded;
    // cut[i]: a stretch begins at frame i.
    std::vector<int32_t> copyOf((size_t)count, -1);
    std::vector<bool> cut((size_t)count + 1, false);
    cut[0] = cut[(size_t)count] = true;
    for (int32_t s = 0; s < count && rule.least > 0;) {
        int32_t d = period[(size_t)s];
        if (d == 0) {
            s++;
            continue;
        }
        // [p, e) repeats itself every d frames: the unit k is whole periods
        // of at least the least copy.
        int32_t e = s + 1;
        while (e < count && period[(size_t)e] == d)
            e++;
        int32_t p = s - d;
        int32_t least = d == 1 ? rule.stillUnit : rule.least;
        int32_t k = least > d ? (least + d - 1) / d * d : d;
        int32_t units = (e - p) / k, rest = (e - p) % k;
        // The rest, a head of the unit, is copied too when the unit can be
        // cut there with both pieces long enough; a held picture's unit is
        // never cut (a second key frame in every copy).
        bool split = d > 1 && rest >= rule.least && k - rest >= rule.least;
        bool encoded = units >= 1;
        for (int32_t i = p; i < p + k && i < count && encoded; i++)
            encoded = copyOf[(size_t)i] < 0;
        if (encoded && (units >= 2 || split)) {
            cut[(size_t)p] = true;
            if (split)
                cut[(size_t)(p + rest)] = true;
            for (int32_t m = 1; m <= units; m++) {
                int32_t at = p + m * k;
                cut[(size_t)at] = true;
                int32_t n = m < units ? k : split ? rest : 0;
                for (int32_t j = 0; j < n; j++)
                    copyOf[(size_t)(at + j)] = p + j;
                if (n > 0 && split)
                    cut[(size_t)(at + rest)] = true;
            }
        }
        s = e;
    }
    // A copy is cut wherever what it copies is.
    for (int32_t i = 0; i < count; i++)
        if (copyOf[(size_t)i] >= 0 && cut[(size_t)copyOf[(size_t)i]])
            cut[(size_t)i] = true;
    std::vector<int32_t> encodedAt((size_t)count, -1);
    int32_t encodedCount = 0;
    for (int32_t a = 0; a < count;) {
        int32_t b = a + 1;
        while (!cut[(size_t)b])
            b++;
        int32_t from = copyOf[(size_t)a];
        if (from < 0) {
            encodedAt[(size_t)a] = encodedCount;
            stretches->push_back({a, b - a, encodedCount++, false});
        } else {
            stretches->push_back({a, b - a, encodedAt[(size_t)from], true});
        }
        a = b;
    }
}

int32_t EncodedFrames(const std::vector<VideoStretch>& stretches)
{
    int32_t frames = 0;
    for (const VideoStretch& s : stretches)
        if (!s.copy)
            frames += s.count;
    return frames;
}

int32_t EncodedStretches(const std::vector<VideoStretch>& stretches)
{
    int32_t count = 0;
    for (const VideoStretch& s : stretches)
        count += s.copy ? 0 : 1;
    return count;
}
