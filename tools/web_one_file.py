#!/usr/bin/env python3
"""Writes brinelux.html, the whole page in one file, from the built site:
index.html with the show's loader (brinelux.js) inline, and the programs
(brinelux.wasm, brinelux_feeder.wasm, as base64) and the worklet's script
carried in it for the page to read instead of fetching them. It plays from
file:// (a double click), where browsers fetch nothing beside a page.

    web_one_file.py SITE OUT
"""
import base64
import json
import os
import sys

LOADER = """<script src="brinelux.js" onerror="Module.loadFailed('brinelux.js')"></script>"""
# The page's own script begins here; the files go just before it.
PAGE_SCRIPT = "<script>\n(function () {"


def inline(text):
    """Text that may stand inside a <script> element as it is."""
    return text.replace("</", "<\\/")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    site, out = sys.argv[1:]

    def read(name):
        with open(os.path.join(site, name), "rb") as f:
            return f.read()

    page = read("index.html").decode("utf-8")
    loader = read("brinelux.js").decode("utf-8")
    # An HTML comment's opening inside a script changes how the browser
    # finds the script's end.
    if "<!--" in loader:
        sys.exit("web_one_file.py: brinelux.js holds '<!--' and cannot go inline")
    for marker in (LOADER, PAGE_SCRIPT):
        if page.count(marker) != 1:
            sys.exit("web_one_file.py: index.html has %d of %r, not one" % (page.count(marker), marker))
    files = {
        "brinelux.wasm": base64.b64encode(read("brinelux.wasm")).decode("ascii"),
        "brinelux_feeder.wasm": base64.b64encode(read("brinelux_feeder.wasm")).decode("ascii"),
        "worklet.js": read("worklet.js").decode("utf-8"),
    }
    carried = "<script>\nwindow.brineluxFiles = %s;\n</script>\n" % inline(json.dumps(files, indent=0))
    page = page.replace(PAGE_SCRIPT, carried + PAGE_SCRIPT)
    page = page.replace(LOADER, "<script>\n%s\n</script>" % inline(loader))
    with open(out + ".tmp", "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(out + ".tmp", out)


if __name__ == "__main__":
    main()
