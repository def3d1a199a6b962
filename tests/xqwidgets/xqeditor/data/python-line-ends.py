"""Prints, for every module of this Python's standard library that its own
tokenizer reads without error, where each of its lines ends:

    FILE <path>
    <one letter per line>

n: in code, 1: in a ''' string, 2: in a \"\"\" string, s: in a ' string
continued by a backslash, d: in a " string continued by a backslash.
A file the tokenizer refuses is listed as "SKIP <path>".
"""
import os
import sys
import sysconfig
import tokenize

QUOTES = (("'''", "1"), ('"""', "2"), ("'", "s"), ('"', "d"))


def kind(text):
    body = text.lstrip("rRbBuUfF")
    for quote, letter in QUOTES:
        if body.startswith(quote):
            return letter
    return "n"


def line_ends(path):
    with open(path, "rb") as f:
        raw = f.read()
    rows = raw.split(b"\n")
    if rows and rows[-1] == b"":
        rows.pop()
    ends = ["n"] * len(rows)
    opened = []

    def mark(start, end, letter):
        for row in range(start[0], end[0]):
            ends[row - 1] = letter

    with open(path, "rb") as f:
        for tok in tokenize.tokenize(f.readline):
            name = tokenize.tok_name[tok.type]
            if name == "STRING" and tok.start[0] < tok.end[0]:
                mark(tok.start, tok.end, kind(tok.string))
            elif name == "FSTRING_START":
                opened.append((tok.start, kind(tok.string)))
            elif name == "FSTRING_END" and opened:
                start, letter = opened.pop()
                mark(start, tok.end, letter)
    return "".join(ends)


def main():
    root = sysconfig.get_paths()["stdlib"]
    skip = {"site-packages", "dist-packages", "__pycache__"}
    out = sys.stdout
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d not in skip)
        for name in sorted(files):
            if not name.endswith(".py"):
                continue
            path = os.path.join(folder, name)
            try:
                ends = line_ends(path)
            except (SyntaxError, tokenize.TokenError, UnicodeDecodeError, IndentationError):
                out.write("SKIP %s\n" % path)
                continue
            out.write("FILE %s\n%s\n" % (path, ends))


if __name__ == "__main__":
    main()
