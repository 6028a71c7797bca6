"""Replaces the measured block of a document between <!-- NAME:begin --> and <!-- NAME:end -->,
keeping everything written by hand around it. Shared by the bench scripts' --doc options."""

import re


def replace_block(path, name, text):
    document = open(path).read()
    marks = re.compile(rf"(<!-- {name}:begin -->\n).*?(<!-- {name}:end -->)", re.S)
    if not marks.search(document):
        raise SystemExit(f"{path}: no <!-- {name}:begin --> ... <!-- {name}:end --> block to replace")
    open(path, "w").write(marks.sub(lambda m: m[1] + "\n" + text + "\n\n" + m[2], document))
