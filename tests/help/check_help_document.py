#!/usr/bin/env python3
"""Checks the help document against the program's sources.

    check_help_document.py DOCUMENT [--sources DIR ...] [--template]

1. Form: the document parses as HTML with every element closed in order (void
   elements excepted), holds no script (no <script>, no on... attributes, no
   javascript: links) and needs nothing from outside: every src is a data: URI,
   every href a link to an id inside the document, no <link>, <iframe>, <object>,
   <embed> or <base>, no url(...) or @import in its style other than data: URIs.
   Its pictures are PNG images. With --template the picture placeholders of the
   source text are accepted instead.
2. Messages: every text that the program can show in a message box, in its status
   line, its log or its position display appears in the first cell of a table row of
   the document (the tables of messages, each with cause and remedy beside it). The texts are collected
   from the C++ sources (default: app/, com/, focus/, record/, controls/, settings/, common/ beside this
   repository's tests/) by this pattern: the string literals in the argument list of a
   call to ShowError, ShowErrorReport, ShowReport or AutomationError (which becomes
   the general error report), and of SetText on LabStatus or LabPos. (snprintf is not
   among them: the program formats numbers and the names of its files and kernel
   objects with it, never a message.) Within one argument, literals joined by + form one
   message whose parts must appear in order, anything (up to 80 characters) between
   them; the two branches of a ?: are two messages; printf conversions (%d, %.8x, ...)
   match anything. So a new message without its entry in the help fails here.

Exit status 0 when both hold, 1 when either does not, 2 when the check cannot run
(no document, no sources, or a kind of message the pattern no longer finds).
"""
import argparse
import base64
import html
import html.parser
import os
import re
import sys

VOID_ELEMENTS = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track",
                 "wbr"}
FORBIDDEN_ELEMENTS = {"script", "link", "iframe", "object", "embed", "base", "frame", "frameset", "applet"}
PLACEHOLDER = re.compile(r"^@@PICTURE_[A-Z]+@@$")
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"

# Calls whose string literals are texts the user sees, by the kind of place they show in.
MESSAGE_CALLS = {
    "error box": re.compile(r"\bShowError\s*\("),
    "general error report": re.compile(r"\b(?:ShowErrorReport|ShowReport|AutomationError)\s*\("),
    "status line": re.compile(r"\b(?:LabStatus|LabPos)\.SetText\s*\("),
}
# Kinds the program certainly has: finding none of them means the pattern is out of date.
REQUIRED_KINDS = ("error box", "general error report", "status line")


class FormChecker(html.parser.HTMLParser):
    def __init__(self, allow_placeholders):
        super().__init__(convert_charrefs=True)
        self.allow_placeholders = allow_placeholders
        self.stack = []
        self.problems = []
        self.ids = set()
        self.fragment_links = []
        self.pictures = 0
        self.in_style = False
        self.in_body = False
        self.cell = 0
        self.first_cells = []

    def problem(self, what):
        line, column = self.getpos()
        self.problems.append("line %d, column %d: %s" % (line, column + 1, what))

    def handle_starttag(self, tag, attrs):
        self.check_element(tag, attrs)
        if tag not in VOID_ELEMENTS:
            self.stack.append(tag)
        if tag == "style":
            self.in_style = True
        if tag == "body":
            self.in_body = True
        if tag == "tr":
            self.cell = 0
        if tag in ("td", "th"):
            self.cell += 1
            if tag == "td" and self.cell == 1:
                self.first_cells.append([])

    def handle_startendtag(self, tag, attrs):
        self.check_element(tag, attrs)
        if tag not in VOID_ELEMENTS:
            self.problem("<%s/> is not an element that may be left empty" % tag)

    def handle_endtag(self, tag):
        if tag in VOID_ELEMENTS:
            self.problem("</%s> closes an element that has no end" % tag)
            return
        if not self.stack:
            self.problem("</%s> without an open element" % tag)
            return
        if self.stack[-1] != tag:
            self.problem("</%s> where </%s> was due" % (tag, self.stack[-1]))
            if tag in self.stack:
                while self.stack and self.stack.pop() != tag:
                    pass
            return
        self.stack.pop()
        if tag == "style":
            self.in_style = False

    def handle_data(self, data):
        if self.in_style:
            for url in re.findall(r"url\(\s*['\"]?([^'\")]*)", data, re.I):
                if not url.startswith("data:"):
                    self.problem("style refers to %s" % url)
            if "@import" in data:
                self.problem("style imports another file")
        elif self.in_body and self.cell == 1 and "td" in self.stack and self.first_cells:
            self.first_cells[-1].append(data)

    def check_element(self, tag, attrs):
        if tag in FORBIDDEN_ELEMENTS:
            self.problem("<%s> is not allowed (scripts and outside files)" % tag)
        for name, value in attrs:
            value = value or ""
            if name.startswith("on"):
                self.problem("<%s %s=...> is a script" % (tag, name))
            if name == "id":
                self.ids.add(value)
            if value.strip().lower().startswith("javascript:"):
                self.problem("<%s %s=...> is a script" % (tag, name))
            if name == "href":
                if value.startswith("#") and len(value) > 1:
                    self.fragment_links.append((self.getpos(), value[1:]))
                else:
                    self.problem("<%s href=%r> leads outside the document" % (tag, value[:60]))
            if name in ("src", "srcset", "data", "poster", "background"):
                self.check_source(tag, name, value)
            if name == "style" and re.search(r"url\(\s*['\"]?(?!data:)", value, re.I):
                self.problem("<%s style=...> refers to an outside file" % tag)

    def check_source(self, tag, name, value):
        if self.allow_placeholders and PLACEHOLDER.match(value):
            self.pictures += 1
            return
        prefix = "data:image/png;base64,"
        if not value.startswith(prefix):
            self.problem("<%s %s=%r> is not an embedded PNG picture" % (tag, name, value[:60]))
            return
        try:
            data = base64.b64decode(value[len(prefix):], validate=True)
        except ValueError:
            self.problem("<%s %s=...> is not valid base64" % (tag, name))
            return
        if not data.startswith(PNG_MAGIC) or len(data) < 100:
            self.problem("<%s %s=...> does not hold a PNG picture" % (tag, name))
            return
        self.pictures += 1

    def finish(self):
        self.close()
        for tag in reversed(self.stack):
            self.problem("<%s> is never closed" % tag)
        for (line, column), target in self.fragment_links:
            if target not in self.ids:
                self.problems.append("line %d: link to #%s, which the document lacks" % (line, target))
        if self.pictures == 0:
            self.problems.append("the document holds no picture")


def check_form(document_text, allow_placeholders):
    checker = FormChecker(allow_placeholders)
    if not re.match(r"\s*<!DOCTYPE html>", document_text, re.I):
        checker.problems.append("the document does not begin with <!DOCTYPE html>")
    checker.feed(document_text)
    checker.finish()
    return checker.problems, [" ".join(html.unescape("".join(c)).split()) for c in checker.first_cells]


# --- Collecting the messages from the sources -------------------------------------

def strip_comments(source):
    """Removes // and /* */ comments, keeping string and character literals intact."""
    out = []
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if c in "\"'":
            j = i + 1
            while j < n and source[j] != c:
                j += 2 if source[j] == "\\" else 1
            out.append(source[i:j + 1])
            i = j + 1
        elif source.startswith("//", i):
            while i < n and source[i] != "\n":
                i += 1
        elif source.startswith("/*", i):
            end = source.find("*/", i + 2)
            i = n if end < 0 else end + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def argument_list(source, open_paren):
    """The text between the parenthesis at open_paren and its partner."""
    depth, i, n = 0, open_paren, len(source)
    while i < n:
        c = source[i]
        if c in "\"'":
            j = i + 1
            while j < n and source[j] != c:
                j += 2 if source[j] == "\\" else 1
            i = j + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                return source[open_paren + 1:i]
        i += 1
    return ""


def split_top_level(text, separators):
    """Splits at the separators that are outside brackets and literals ('::' is kept)."""
    parts, depth, start, i, n = [], 0, 0, 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            i = j + 1
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif depth == 0 and c in separators:
            if c == ":" and (text[i + 1:i + 2] == ":" or text[i - 1:i] == ":"):
                i += 1
                continue
            parts.append(text[start:i])
            start = i + 1
        i += 1
    parts.append(text[start:])
    return parts


LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
ESCAPES = {"n": " ", "r": " ", "t": " ", "\\": "\\", '"': '"', "'": "'", "0": ""}
PRINTF_CONVERSION = re.compile(r"%[-+ #0-9.]*(?:hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcsp]")


def unescape_literal(text):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), text)


def message_parts(expression):
    """The parts of one message: its literals in order, split again at printf conversions."""
    literals = []
    for term in split_top_level(expression, "+"):
        # Adjacent literals ("a" "b") are one literal.
        found = LITERAL.findall(term)
        if found:
            literals.append(unescape_literal("".join(found)))
    parts = []
    for literal in literals:
        parts.extend(PRINTF_CONVERSION.split(literal))
    parts = [" ".join(p.split()) for p in parts]
    parts = [p for p in parts if p]
    # Texts without a letter or digit (separators alone) are no messages.
    if not any(re.search(r"[A-Za-z0-9]", p) for p in parts):
        return None
    return tuple(parts)


def collect_messages(source_dirs):
    """{parts: set of (kind, file:line)} for every message the sources can show."""
    messages = {}
    files = 0
    for directory in source_dirs:
        for base, _, names in os.walk(directory):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(base, name)
                files += 1
                source = strip_comments(open(path, encoding="utf-8", errors="replace").read())
                for kind, call in MESSAGE_CALLS.items():
                    for match in call.finditer(source):
                        arguments = argument_list(source, match.end() - 1)
                        line = source.count("\n", 0, match.start()) + 1
                        for argument in split_top_level(arguments, ","):
                            for branch in split_top_level(argument, "?:"):
                                parts = message_parts(branch)
                                if parts:
                                    messages.setdefault(parts, set()).add((kind, "%s:%d" % (path, line)))
    return messages, files


def appears(parts, cells):
    pattern = re.compile(".{0,80}?".join(re.escape(p) for p in parts))
    return any(pattern.search(cell) for cell in cells)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("document")
    parser.add_argument("--sources", nargs="*",
                        default=[os.path.join(root, d) for d in ("app", "com", "focus", "record", "controls", "settings", "common")])
    parser.add_argument("--template", action="store_true", help="accept the picture placeholders")
    args = parser.parse_args()

    try:
        raw = open(args.document, "rb").read()
    except OSError as e:
        print("cannot read the document: %s" % e)
        return 2
    document = raw.decode("cp1252", errors="replace")

    problems, cells = check_form(document, args.template)
    print("form: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    for p in problems:
        print("  " + p)

    messages, files = collect_messages(args.sources)
    kinds = {kind for places in messages.values() for kind, _ in places}
    missing_kinds = [k for k in REQUIRED_KINDS if k not in kinds]
    if files == 0 or missing_kinds:
        print("messages: the sources gave no %s (%d files read): the pattern needs updating"
              % (", ".join(missing_kinds) or "messages", files))
        return 2
    missing = []
    for parts in sorted(messages):
        ok = appears(parts, cells)
        places = ", ".join(sorted(place for _, place in messages[parts]))
        print("  %s %s  (%s)" % ("ok     " if ok else "MISSING", " ... ".join(repr(p) for p in parts), places))
        if not ok:
            missing.append(parts)
    print("messages: %d collected from %d files, %d missing from the document" % (len(messages), files, len(missing)))
    return 1 if problems or missing else 0


if __name__ == "__main__":
    sys.exit(main())
