#!/usr/bin/env python3
"""The README and its docs/ pages as a reader follows them: every relative
link and anchor leads somewhere, every page is reached from the README, the
README stays a page, and CI runs the README's test command as written.

usage: docs_links.py SOURCE_DIR
"""
import glob
import os
import re
import sys

root = os.path.realpath(sys.argv[1])
failures = []


def anchors(path):
    """The anchors a Markdown renderer makes of a page's headings."""
    found = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#+\s+(.*)", line)
            if m:
                slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower()).replace(" ", "-")
                found.add(slug)
    return found


readme = os.path.join(root, "README.md")
pages = sorted(glob.glob(os.path.join(root, "docs", "*.md")))
linked = set()
for page in [readme] + pages:
    text = open(page, encoding="utf-8").read()
    # Links inside code blocks are commands, not links.
    prose = re.sub(r"^    .*$", "", text, flags=re.M)
    for target in re.findall(r"\]\(([^)\s]+)\)", prose):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        dest = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        name = os.path.relpath(page, root)
        if not os.path.isfile(dest):
            failures.append(f"{name} links to {target}, which is not there")
            continue
        if anchor and anchor not in anchors(dest):
            failures.append(f"{name} links to {target}, whose page has no such heading")
        if page == readme:
            linked.add(dest)

for page in pages:
    if page not in linked:
        failures.append(f"{os.path.relpath(page, root)} is not linked from the README")

lines = open(readme, encoding="utf-8").read().count("\n")
if lines > 200:
    failures.append(f"README.md is {lines} lines: its details belong in docs/")

# The README's test command, its install step left to CI's own (--all).
commands = [l.strip() for l in open(readme, encoding="utf-8") if l.startswith("    ") and "ctest" in l]
ci = [l.strip() for l in open(os.path.join(root, ".ci", "run"), encoding="utf-8")]
if len(commands) != 1:
    failures.append(f"the README shows {len(commands)} test commands, not one")
else:
    step, _, rest = commands[0].partition(" && ")
    if not step.startswith("tools/install-deps.sh") or rest not in ci:
        failures.append(f".ci/run does not run the README's test command: {rest}")

for failure in failures:
    print(f"FAIL: {failure}")
if failures:
    sys.exit(1)
print(f"PASS: README.md ({lines} lines) and {len(pages)} pages: links, anchors and CI's test command")
