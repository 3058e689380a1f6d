#!/usr/bin/env python3
"""Fails when a program's --help and its man page disagree on the long options or the exit statuses.

Usage: compare_help_and_page.py PROGRAM PAGE

The help text lists exit statuses after a line starting "Exit status" ("0 success, 1 ..." or one per line);
the page lists them as tagged paragraphs (.TP / .B N) in its EXIT STATUS section.
"""
import re
import subprocess
import sys

LONG_OPTION = re.compile(r"--[a-z0-9][a-z0-9-]*")


def help_text(program):
    run = subprocess.run([program, "--help"], capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        sys.exit(f"{program} --help ended with status {run.returncode}: {run.stderr.strip()}")
    return run.stdout


def exit_statuses_in_help(text):
    match = re.search(r"^Exit status.*?(?=\n\s*\n|\Z)", text, re.MULTILINE | re.DOTALL | re.IGNORECASE)
    if not match:
        return set()
    # A status opens an entry: after the colon, after a comma or at the start of a line.
    return set(re.findall(r"(?:^|[:,;])\s*(\d+)\b", match.group(0)[len("Exit status"):], re.MULTILINE))


def exit_statuses_in_page(page):
    section = re.search(r"^\.SH EXIT STATUS\n(.*?)(?=^\.SH |\Z)", page, re.MULTILINE | re.DOTALL)
    if not section:
        return set()
    return set(re.findall(r"^\.TP\n\.B (\d+)$", section.group(1), re.MULTILINE))


def main():
    program, page_path = sys.argv[1], sys.argv[2]
    text = help_text(program)
    with open(page_path, encoding="utf-8") as page_file:
        page = page_file.read()
    roff = page.replace("\\-", "-")

    problems = []
    in_help = set(LONG_OPTION.findall(text))
    in_page = set(LONG_OPTION.findall(roff))
    for option in sorted(in_help - in_page):
        problems.append(f"{option} is in --help but not in {page_path}")
    for option in sorted(in_page - in_help):
        problems.append(f"{option} is in {page_path} but not in --help")

    help_statuses = exit_statuses_in_help(text)
    page_statuses = exit_statuses_in_page(page)
    if not help_statuses:
        problems.append("--help lists no exit statuses")
    if help_statuses != page_statuses:
        problems.append(f"exit statuses differ: --help {sorted(help_statuses)}, page {sorted(page_statuses)}")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
