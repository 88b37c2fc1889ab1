#!/usr/bin/env python3
"""Checks the relative links of the project's documentation.

Every relative link in README.md and in the Markdown files under docs/ must
name a file or folder of this repository that exists; a link to a heading of
a Markdown file ("page.md#heading", "#heading") must name a heading there,
by the anchor GitHub makes of it. Links with a scheme (https:, mailto:) are
not checked. Code blocks and code spans are not read for links.

Prints each broken link with its file and line, and exits 1 when there is
one (or when there is nothing to check); exits 0 when every link holds.

Usage: check_links.py <repository folder>
"""
import os
import re
import sys
from urllib.parse import unquote

# [text](target "title") and ![alt](target), the target bare or in <...>.
INLINE = re.compile(
    r"!?\[(?:[^\[\]\\]|\\.|\[[^\]]*\])*\]"
    r"\(\s*(<[^>\n]*>|[^)\s]+)(?:\s+(?:\"[^\"]*\"|'[^']*'|\([^)]*\)))?\s*\)"
)
# [label]: target, at the start of a line.
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*(<[^>\n]*>|\S+)", re.M)
# <a href="..."> and <img src="...">.
HTML = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*\"([^\"]*)\"", re.I)
HTML_ANCHOR = re.compile(r"<a\b[^>]*?\b(?:id|name)\s*=\s*\"([^\"]+)\"", re.I)
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")
FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
HEADING = re.compile(r"^ {0,3}(#{1,6})\s+(.*?)\s*#*\s*$")


def blank_fences(text):
    """The text with its fenced code blocks made empty lines."""
    out = []
    fence = None
    for line in text.split("\n"):
        match = FENCE.match(line)
        if fence is None and match:
            fence = match.group(1)
        elif fence is not None:
            closing = line.strip()
            if closing.startswith(fence) and closing.strip(fence[0]) == "":
                fence = None
        else:
            out.append(line)
            continue
        out.append("")
    return "\n".join(out)


def blank_code(text):
    """The text with code blocks and code spans made blanks; the lines stay
    where they are."""
    # A code span: a run of backticks up to the same run.
    return re.sub(r"(`+)(.+?)\1", lambda m: " " * len(m.group(0)), blank_fences(text), flags=re.S)


def slug(heading):
    """The anchor GitHub makes of a heading's text."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link: its text
    text = re.sub(r"<[^>]+>", "", text)  # HTML tags
    text = text.strip().lower()
    text = "".join(c for c in text if c.isalnum() or c in " -_")
    return text.replace(" ", "-")


def anchors_of(path, cache={}):
    """The anchors of the headings (and of <a id> / <a name>) of a Markdown file."""
    if path not in cache:
        with open(path, encoding="utf-8") as f:
            text = f.read()
        found = set()
        counts = {}
        for line in blank_fences(text).split("\n"):
            heading = HEADING.match(line)
            if heading:
                base = slug(heading.group(2))
                n = counts.get(base, 0)
                counts[base] = n + 1
                found.add(base if n == 0 else "%s-%d" % (base, n))
        found.update(HTML_ANCHOR.findall(text))
        cache[path] = found
    return cache[path]


def links_of(text):
    """(line number, target) of every link outside code."""
    text = blank_code(text)
    found = []
    for pattern in (INLINE, REFERENCE, HTML):
        for match in pattern.finditer(text):
            target = match.group(1)
            if target.startswith("<") and target.endswith(">"):
                target = target[1:-1]
            found.append((text.count("\n", 0, match.start()) + 1, target))
    return sorted(found)


def problem(root, document, target):
    """Why `target`, a link in `document`, is broken, or None."""
    if SCHEME.match(target):
        return None
    path, _, anchor = target.partition("#")
    path = unquote(path)
    if path == "":
        resolved = document
    elif path.startswith("/"):
        resolved = os.path.join(root, path.lstrip("/"))
    else:
        resolved = os.path.join(os.path.dirname(document), path)
    resolved = os.path.realpath(resolved)
    if os.path.commonpath([resolved, root]) != root:
        return "it leads out of the repository"
    if not os.path.exists(resolved):
        return "no file %s" % os.path.relpath(resolved, root)
    if anchor and resolved.endswith(".md") and os.path.isfile(resolved):
        if unquote(anchor).lower() not in anchors_of(resolved):
            return "no heading #%s in %s" % (anchor, os.path.relpath(resolved, root))
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    root = os.path.realpath(sys.argv[1])
    documents = [os.path.join(root, "README.md")]
    for folder, _, files in os.walk(os.path.join(root, "docs")):
        documents += [os.path.join(folder, f) for f in sorted(files) if f.endswith(".md")]
    missing = [d for d in documents if not os.path.isfile(d)]
    if missing:
        print("no %s to check" % ", ".join(os.path.relpath(d, root) for d in missing))
        return 1
    checked = broken = 0
    for document in documents:
        with open(document, encoding="utf-8") as f:
            text = f.read()
        name = os.path.relpath(document, root)
        for line, target in links_of(text):
            checked += 1
            why = problem(root, document, target)
            if why:
                broken += 1
                print("%s:%d: broken link (%s): %s" % (name, line, target, why))
    print("%d links checked in %d files, %d broken" % (checked, len(documents), broken))
    if checked == 0:
        print("no link found: the check would prove nothing")
        return 1
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
