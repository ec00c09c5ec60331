#!/usr/bin/env python3
"""Runs the example commands of a Markdown file in one shell and checks that
each prints what the file shows.

Usage: readme-examples.py FILE -- SHELL_COMMAND...
  The shell command (for example `bash scripts/run.sh --shell`) reads the
  commands on standard input; its output up to the first example is printed
  as the preamble.

The rules (docs/development.md tells them to writers):
- An example is a ```console block. Each line that starts with "$ " is a
  command; a command ending in " \\" goes on with the next line. The lines up
  to the next command are its expected output, standard output and standard
  error together. Other blocks are not run.
- "..." matches any text within a line; a line that is only "..." matches any
  number of lines, none included. Every number matches any number (times,
  counts and addresses vary from run to run). Trailing blanks do not count.
- Commands run in order in the same shell, each with standard input from
  /dev/null.
"""
import re
import subprocess
import sys

SHELL_TIMEOUT_S = 300  # every example is bounded on its own; this bounds them all
MARK = "@@kestrel-example {}@@"
SKIP = 77  # the shell could not be made here (no namespaces); passed on


def examples(markdown):
    """(command, expected lines) pairs of the console blocks, in order."""
    found, block = [], None
    lines = iter(markdown.splitlines())
    for line in lines:
        if block is None:
            if line.strip() == "```console":
                block = []
            continue
        if line.strip() == "```":
            block = None
            continue
        if line.startswith("$ "):
            command = line[2:]
            while command.endswith("\\"):
                command += "\n" + next(lines)
            found.append((command, []))
        elif found:
            found[-1][1].append(line)
    return found


def pattern(expected):
    """A regular expression for the expected lines, by the rules above."""
    parts = []
    for line in expected:
        line = line.rstrip()
        if line == "...":
            parts.append(r"(?:[^\n]*\n)*?")
            continue
        tokens = re.split(r"(\.\.\.|\d+)", line)
        body = "".join(r"[^\n]*?" if t == "..." else r"\d+" if t.isdigit() else re.escape(t) for t in tokens)
        parts.append(body + r"\n")
    return "".join(parts)


def normal(text):
    lines = [line.rstrip() for line in text.splitlines()]
    while lines and not lines[-1]:
        lines.pop()
    return "".join(line + "\n" for line in lines)


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit("usage: readme-examples.py FILE -- SHELL_COMMAND...")
    with open(sys.argv[1], encoding="utf-8") as f:
        cases = examples(f.read())
    script = ""
    for i, (command, _) in enumerate(cases):
        script += f"printf '\\n%s\\n' '{MARK.format(i)}'\n{{ {command}\n}} </dev/null 2>&1\n"
    run = subprocess.run(sys.argv[3:], input=script, capture_output=True, text=True, timeout=SHELL_TIMEOUT_S)
    if run.returncode == SKIP:
        print(run.stderr, end="")
        sys.exit(SKIP)
    sections = re.split(r"\n?" + MARK.format(r"(\d+)") + r"\n", run.stdout)
    print(sections[0] + run.stderr)
    got = {int(sections[k]): sections[k + 1] for k in range(1, len(sections) - 1, 2)}
    failures = 0
    for i, (command, expected) in enumerate(cases):
        actual = normal(got.get(i, "(never ran)\n"))
        if re.fullmatch(pattern(expected), actual):
            continue
        failures += 1
        print(f"FAIL: $ {command}\n--- the file shows:\n" + "\n".join(expected) + f"\n--- it printed:\n{actual}")
    print(f"{len(cases) - failures} of {len(cases)} examples print what {sys.argv[1]} shows")
    sys.exit(1 if failures or run.returncode != 0 else 0)


if __name__ == "__main__":
    main()
