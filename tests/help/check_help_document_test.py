#!/usr/bin/env python3
"""Shows that the help document check can fail: each case spoils a copy of the document
or of the sources in one way and expects the check to reject it with the right reason.

    check_help_document_test.py DOCUMENT

Exit status 0 when the document passes unchanged and every spoilt copy fails.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CHECK = os.path.join(HERE, "check_help_document.py")
SOURCE_DIRS = ("app", "com", "focus", "record", "controls", "settings", "common")


def replace_once(old, new):
    def change(text):
        if old not in text:
            raise AssertionError("the document no longer holds %r" % old)
        return text.replace(old, new, 1)
    return change


# (name, change of the document, change of a source file (path, old, new) or None,
#  expected exit status, text expected in the check's output)
CASES = [
    ("unchanged", None, None, 0, "0 missing"),
    ("a new error box without help", None,
     ("app/form_afoc.cpp", 'platform_.ShowError("File not found:\\r" + path);',
      'platform_.ShowError("File not found:\\r" + path); platform_.ShowError("Focuser overheated.");'),
     1, "MISSING 'Focuser overheated.'"),
    ("a new status text in a ?: branch", None,
     ("app/focuser_binding.cpp", '"Move timeout" : "OK"', '"Move timeout" : "Stalled"'), 1, "MISSING 'Stalled'"),
    ("a new report built from pieces", None,
     ("app/focuser_binding.cpp", 'AutomationError("No focuser is connected")',
      'AutomationError("Driver " + name + " went away")'), 1, "MISSING 'Driver' ... 'went away'"),
    ("a message removed from the document", replace_once("<tr><td>Move timeout</td>", "<tr><td>Stuck</td>"), None,
     1, "MISSING 'Move timeout'"),
    ("a message only in running text", replace_once("<tr><td>Error</td>", "<tr><td>Failed run</td>"), None, 1,
     "MISSING 'Error'"),
    ("a script", replace_once("</h1>", "</h1><script>alert(1)</script>"), None, 1, "<script> is not allowed"),
    ("an event handler", replace_once("<body>", '<body onload="go()">'), None, 1, "is a script"),
    ("a picture from the web", replace_once("<h1>", '<h1><img src="http://example.org/a.png" alt="">'), None, 1,
     "not an embedded PNG picture"),
    ("a link to a web page", replace_once('href="#what"', 'href="http://example.org/"'), None, 1,
     "leads outside the document"),
    ("a link to a missing section", replace_once('href="#what"', 'href="#nowhere"'), None, 1,
     "which the document lacks"),
    ("a style sheet from outside", replace_once("</style>", "@import 'x.css';</style>"), None, 1,
     "imports another file"),
    ("an element left open", replace_once("</ul>", ""), None, 1, "was due"),
    ("a stray end tag", replace_once("</h1>", "</h1></p>"), None, 1, "</p> where"),
    ("a picture that is no PNG", replace_once("data:image/png;base64,", "data:image/png;base64,AAAA"), None, 1,
     "does not hold a PNG picture"),
]


def run_check(document_text, sources_root):
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "focusers_readme.htm")
        with open(path, "w", encoding="cp1252", newline="") as f:
            f.write(document_text)
        dirs = [os.path.join(sources_root, d) for d in SOURCE_DIRS]
        result = subprocess.run([sys.executable, CHECK, path, "--sources", *dirs], capture_output=True, text=True)
        return result.returncode, result.stdout + result.stderr


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    document = open(sys.argv[1], encoding="cp1252", newline="").read()
    failures = 0
    for name, change_document, change_source, expected_status, expected_text in CASES:
        with tempfile.TemporaryDirectory() as sources:
            for d in SOURCE_DIRS:
                shutil.copytree(os.path.join(ROOT, d), os.path.join(sources, d))
            try:
                text = change_document(document) if change_document else document
                if change_source:
                    path, old, new = change_source
                    full = os.path.join(sources, path)
                    source = open(full, encoding="utf-8").read()
                    if old not in source:
                        raise AssertionError("%s no longer holds %r" % (path, old))
                    open(full, "w", encoding="utf-8").write(source.replace(old, new, 1))
            except AssertionError as e:
                print("FAIL %s: the case cannot be set up: %s" % (name, e))
                failures += 1
                continue
            status, output = run_check(text, sources)
        if status == expected_status and expected_text in output:
            print("ok   %s" % name)
        else:
            failures += 1
            print("FAIL %s: status %d (expected %d), %r %s in the output:" %
                  (name, status, expected_status, expected_text, "found" if expected_text in output else "not found"))
            print("     " + "\n     ".join(l for l in output.splitlines() if not l.startswith("  ok")))
    print("%d of %d cases failed" % (failures, len(CASES)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
