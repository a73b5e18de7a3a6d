#!/usr/bin/env python3
"""Frame times of each part of the show's web page in headless Chromium,
the page's counterpart of `brinelux-capture --bench`.

    tools/web_bench.py [SITE] [--repeat N] [--gpu]

SITE is the built site (default build-web/site, from tools/web.sh
--build-only). Each part is drawn once, then N times (default 8) spread over
its scene time as the capture's bench does, each drawing waited for; the
median of the N is printed. WebGL
runs on SwiftShader unless --gpu asks Chromium for the machine's GPU.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_page import Browser, PageError, ServedSite  # noqa: E402

# The capture's bench: after a first frame, 8 spread over each scene's time.
PARTS = [("title", "0.04", "0.04"), ("thanks", "0.04", "0.04"), ("water", "0.04", "5"), ("spheres", "0.04", "14")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("site", nargs="?", default="build-web/site")
    parser.add_argument("--repeat", type=int, default=8)
    parser.add_argument("--gpu", action="store_true")
    args = parser.parse_args()
    if not os.path.isfile(os.path.join(args.site, "brinelux.wasm")):
        sys.exit("web_bench.py: no site in %s (build it with tools/web.sh --build-only)" % args.site)
    flags = ["--use-angle=default", "--ignore-gpu-blocklist", "--enable-gpu"] if args.gpu else []
    try:
        with ServedSite(args.site) as url, Browser(extra_flags=flags) as page:
            renderer = None
            print("part     scene time      median ms   range")
            for part, t, to in PARTS:
                page.open("%s/index.html?still=%s&time=%s&to=%s&repeat=%d" % (url, part, t, to, args.repeat))
                page.wait_for("window.brineluxStill !== undefined", timeout=600)
                if renderer is None:
                    renderer = page.evaluate("""(function () {
                        var gl = document.getElementById('canvas').getContext('webgl');
                        var info = gl.getExtension('WEBGL_debug_renderer_info');
                        return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
                    })()""")
                line = [text for level, text in page.console if text.startswith("brinelux: still " + part)][-1]
                found = re.search(r"median ([0-9.]+) ms \(([0-9.]+) to ([0-9.]+)\)", line)
                print("%-8s %5s to %-5s %9s   %s to %s" % (part, t, to, found.group(1), found.group(2), found.group(3)))
            print("WebGL renderer: %s" % renderer)
    except PageError as e:
        sys.exit("web_bench.py: %s" % e)


if __name__ == "__main__":
    main()
