#!/usr/bin/env python3
"""Holds each program's manual page to the program itself: groff reads the page
without a warning, the page names exactly the options that `--help` lists, and
every verb of the usage lines has its own entry in the page.

usage: check_manuals.py MAN_DIR NAME=PROGRAM...
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z-]*")


def problems_of(man_dir, name, program):
    page_path = f"{man_dir}/{name}.1"
    problems = []
    groff = subprocess.run(["groff", "-man", "-ww", "-z", "-Tutf8", page_path],
                           capture_output=True, text=True)
    if groff.returncode != 0 or groff.stderr.strip():
        problems.append(f"groff: {groff.stderr.strip() or groff.returncode}")
    help_run = subprocess.run([program, "--help"], capture_output=True, text=True)
    if help_run.returncode != 0:
        return problems + [f"--help exits with {help_run.returncode}"]
    help_text = help_run.stdout
    with open(page_path, encoding="utf-8") as f:
        page = f.read()
    # roff writes a hyphen as \- ; a line starting with "." is a request.
    text = page.replace("\\-", "-")
    in_help, in_page = set(OPTION.findall(help_text)), set(OPTION.findall(text))
    for option in sorted(in_help - in_page):
        problems.append(f"{option} is in --help but not in the manual")
    for option in sorted(in_page - in_help):
        problems.append(f"{option} is in the manual but not in --help")
    for verb in re.findall(rf"^\s*(?:usage:)?\s*{re.escape(name)} ([a-z]+) ", help_text, re.M):
        if not re.search(rf"^\.B {verb}$", text, re.M):
            problems.append(f"verb {verb} has no entry in the manual")
    if not re.search(rf"^\.TH {re.escape(name.upper())} 1 ", page, re.M):
        problems.append("no .TH line for section 1")
    return problems


def main(man_dir, programs):
    failed = False
    for entry in programs:
        name, program = entry.split("=", 1)
        for problem in problems_of(man_dir, name, program):
            print(f"{name}: {problem}")
            failed = True
    if not failed:
        print(f"manuals: {len(programs)} pages agree with their programs")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
