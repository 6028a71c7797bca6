"""Replaces the measured block of a document between <!-- NAME:begin --> and <!-- NAME:end -->,
keeping everything written by hand around it, and renders the table that goes there. Shared by
the bench scripts' --doc options."""

import os, re, subprocess, time


def figures_table(rows, notes):
    """Rows of (figure, result, goal, verdict) as a Markdown table, then the time, the commit
    and the caller's notes as a list beneath it."""
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True,
                            cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
    return "\n".join(["| Figure | Result | Goal | |", "|---|---|---|---|"] +
                     ["| " + " | ".join(r) + " |" for r in rows] +
                     ["", f"- Measured: {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}, commit {commit}"] +
                     [f"- {n}" for n in notes])


def replace_block(path, name, text):
    document = open(path).read()
    marks = re.compile(rf"(<!-- {name}:begin -->\n).*?(<!-- {name}:end -->)", re.S)
    if not marks.search(document):
        raise SystemExit(f"{path}: no <!-- {name}:begin --> ... <!-- {name}:end --> block to replace")
    open(path, "w").write(marks.sub(lambda m: m[1] + "\n" + text + "\n\n" + m[2], document))
