"""Checks JSON texts written by the JSON module against Python's json reader.

Every line of every file named on the command line is one compact text. Each
must be accepted by json.loads as it is (no NaN or Infinity, no control
character inside a string), and Python's own compact writing of what it read
must give the same bytes back: numbers keep their text, objects their member
order, and texts are escaped the way json.dumps escapes them. Bytes that are
not UTF-8 travel through as surrogate escapes.

    strict_reader.py FILE...
    strict_reader.py --run PROGRAM [ARG...]   runs PROGRAM with VESK_JSON_TEXTS
                                              naming a file it appends its
                                              texts to, then checks that file
"""
import json
import os
import subprocess
import sys
import tempfile


class Number(str):
    """A number token, kept as written."""


class Members(list):
    """An object's members in their order, duplicates kept."""


def refuse_constant(name):
    raise ValueError("not JSON: " + name)


def write(value):
    """The compact text of value, strings escaped as json.dumps does."""
    if isinstance(value, Number):
        return str(value)
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, Members):
        return "{" + ",".join(write(name) + ":" + write(item) for name, item in value) + "}"
    if isinstance(value, list):
        return "[" + ",".join(write(item) for item in value) + "]"
    return json.dumps(value)


def check_line(where, line):
    text = line.decode("utf-8", "surrogateescape")
    try:
        value = json.loads(text, parse_int=Number, parse_float=Number,
                           parse_constant=refuse_constant, object_pairs_hook=Members)
    except ValueError as error:
        return "%s: refused (%s): %r" % (where, error, line[:200])
    again = write(value).encode("utf-8", "surrogateescape")
    if again != line:
        return "%s: read back differently:\n  wrote %r\n  reads %r" % (where, line[:200], again[:200])
    return None


def check_file(path):
    failures = []
    with open(path, "rb") as texts:
        for number, line in enumerate(texts.read().split(b"\n"), 1):
            if line:
                failure = check_line("%s:%d" % (path, number), line)
                if failure:
                    failures.append(failure)
    return failures


def main(args):
    if args[:1] == ["--run"]:
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "texts")
            open(path, "wb").close()
            run = subprocess.run(args[1:], env=dict(os.environ, VESK_JSON_TEXTS=path))
            if run.returncode != 0:
                print("strict_reader: %s exited with %d" % (args[1], run.returncode))
                return 1
            failures = check_file(path)
            count = len([line for line in open(path, "rb").read().split(b"\n") if line])
    else:
        failures = [failure for path in args for failure in check_file(path)]
        count = None
    for failure in failures:
        print(failure)
    if count == 0:
        print("strict_reader: the program wrote no text")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
