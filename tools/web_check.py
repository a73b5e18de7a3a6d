#!/usr/bin/env python3
"""The web zip's release check: a fresh unpacked copy of ZIP, its
brinelux.html opened from file:// in headless Chromium (no server): the show
must start (its first frame drawn) and say nothing is missing.

    web_check.py ZIP
"""
import os
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_page import Browser, PageError  # noqa: E402


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory(prefix="brinelux-web-check-") as folder:
        with zipfile.ZipFile(sys.argv[1]) as z:
            z.extractall(folder)
        pages = [os.path.join(root, "brinelux.html") for root, _, names in os.walk(folder) if "brinelux.html" in names]
        if len(pages) != 1:
            sys.exit("web_check.py: %s holds %d brinelux.html, not one" % (sys.argv[1], len(pages)))
        try:
            with Browser(extra_flags=["--autoplay-policy=no-user-gesture-required"]) as page:
                page.open("file://" + pages[0] + "?autostart")
                state = page.wait_for("window.brineluxLoadFailed || (window.Module && Module.shownFrame > 0 && "
                                      "'started')", timeout=60)
                note = page.evaluate("document.getElementById('note').classList.contains('hidden') ? '' : "
                                     "document.getElementById('note').textContent")
        except PageError as e:
            sys.exit("web_check.py: brinelux.html from file:// did not start: %s" % e)
        if state != "started":
            sys.exit("web_check.py: brinelux.html from file:// did not start: %s" % state)
        if note:
            sys.exit("web_check.py: brinelux.html from file:// says: %s" % note)
    print("web_check.py: brinelux.html starts from file:// in Chromium")


if __name__ == "__main__":
    main()
