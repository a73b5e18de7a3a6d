#!/usr/bin/env python3
"""How a browser shows a video's colours: one frame of a video, drawn by
headless Chromium from a <video> onto a canvas, against the PNG of the same
frame. Prints the signed mean difference of each channel (browser minus
PNG, in 8-bit levels), the PSNR and the largest difference.

    tools/video_colours.py show.mp4 frames/frame-000650.png 25.96

SECONDS is the time of the frame in the video: (frame - first frame) / fps.
Needs chromium and ffmpeg."""
import base64
import math
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_page import Browser, ServedSite  # noqa: E402

PAGE = """<!doctype html><body style="margin:0;background:#000">
<video id="v" src="%s" muted preload="auto"></video><canvas id="c"></canvas>
<script>
// A paused video's seek does not reach the canvas in headless Chromium: it
// is played slowly instead, and the frame whose time is wanted drawn as
// the compositor presents it.
window.drawn = null;
const wanted = %f;
const v = document.getElementById("v");
function frame(now, meta) {
  if (meta.mediaTime + 0.001 < wanted) {
    v.requestVideoFrameCallback(frame);
    return;
  }
  v.pause();
  if (meta.mediaTime > wanted + 0.001) {
    window.drawn = ["missed", meta.mediaTime];
    return;
  }
  const c = document.getElementById("c");
  c.width = v.videoWidth; c.height = v.videoHeight;
  const g = c.getContext("2d");
  g.drawImage(v, 0, 0);
  const d = g.getImageData(0, 0, c.width, c.height).data;
  let s = "";
  for (let i = 0; i < d.length; i += 4)
    s += String.fromCharCode(d[i], d[i + 1], d[i + 2]);
  window.drawn = [c.width, c.height, btoa(s)];
}
v.addEventListener("loadeddata", () => {
  v.playbackRate = 0.1;
  v.requestVideoFrameCallback(frame);
  v.play();
});
v.addEventListener("error", () => { window.drawn = ["error", v.error && v.error.code]; });
</script></body>"""


def png_rgb(path):
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    return out


def compare(shown, png):
    n = len(png) // 3
    means = [(sum(shown[c::3]) - sum(png[c::3])) / n for c in range(3)]
    squares = sum((a - b) * (a - b) for a, b in zip(shown, png))
    largest = max(abs(a - b) for a, b in zip(shown, png))
    psnr = 99.0 if squares == 0 else 10 * math.log10(255 * 255 / (squares / len(png)))
    return means, psnr, largest


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    video, png, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    with tempfile.TemporaryDirectory(prefix="brinelux-colours-") as site:
        name = "video" + os.path.splitext(video)[1]
        shutil.copy(video, os.path.join(site, name))
        with open(os.path.join(site, "index.html"), "w") as page:
            page.write(PAGE % (name, seconds))
        with ServedSite(site) as url, Browser() as browser:
            browser.open(url + "/index.html")
            drawn = browser.wait_for("window.drawn", timeout=120)
    if drawn[0] == "error":
        sys.exit("Chromium could not play %s (media error %s)" % (video, drawn[1]))
    if drawn[0] == "missed":
        sys.exit("Chromium skipped the frame at %g s (it showed %g s next)" % (seconds, drawn[1]))
    shown = base64.b64decode(drawn[2])
    expected = png_rgb(png)
    if len(shown) != len(expected):
        sys.exit("the video's frame is %dx%d, the PNG's is not" % (drawn[0], drawn[1]))
    means, psnr, largest = compare(shown, expected)
    print("Chromium against the PNG: signed mean R %+.2f G %+.2f B %+.2f, PSNR %.1f dB, largest %d"
          % (means[0], means[1], means[2], psnr, largest))


if __name__ == "__main__":
    main()
