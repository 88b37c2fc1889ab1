#!/usr/bin/env python3
"""Checks that every relative link of README.md and docs/*.md names a file
of the repository that exists, and a heading there when it has an anchor
("page.md#heading", "#heading", by the anchor GitHub makes of a heading).
Links with a scheme are skipped, and so are code blocks and code spans.
Prints each broken link with its file and line; exits 1 when there is one.

Usage: check_links.py <repository folder>
"""
import glob
import os
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$", re.M)


def prose(text):
    """The text with fenced blocks and code spans blanked, lines kept."""
    text = re.sub(r"^(```|~~~).*?^\1[^\n]*$", lambda m: "\n" * m.group(0).count("\n"), text,
                  flags=re.M | re.S)
    return re.sub(r"(`+).+?\1", "", text)


def anchors(path):
    """The anchors GitHub makes of the headings of a Markdown file."""
    with open(path, encoding="utf-8") as f:
        headings = HEADING.findall(prose(f.read()))
    slugs = set()
    for heading in headings:
        text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading).strip().lower()
        slug = "".join(c for c in text if c.isalnum() or c in " -_").replace(" ", "-")
        n = 1
        while slug in slugs or slug == "":
            slug, n = re.sub(r"-\d+$", "", slug) + "-" + str(n), n + 1
        slugs.add(slug)
    return slugs


root = sys.argv[1]
pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
broken = checked = 0
for page in pages:
    with open(page, encoding="utf-8") as f:
        text = prose(f.read())
    for match in LINK.finditer(text):
        target = match.group(1)
        if re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):
            continue
        checked += 1
        path, _, anchor = target.partition("#")
        where = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        problem = None
        if not os.path.exists(where):
            problem = "no file " + os.path.relpath(where, root)
        elif anchor and where.endswith(".md") and anchor.lower() not in anchors(where):
            problem = "no heading #" + anchor + " in " + os.path.relpath(where, root)
        if problem:
            line = text.count("\n", 0, match.start()) + 1
            print(f"{os.path.relpath(page, root)}:{line}: broken link ({target}): {problem}")
            broken += 1
print(f"{checked} relative links checked in {len(pages)} pages, {broken} broken")
sys.exit(1 if broken or not checked else 0)
