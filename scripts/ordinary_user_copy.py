#!/usr/bin/env python3
"""A copy of what the needs-ordinary-user tests run, for a build tree the ordinary user cannot read
(a clone in root's mode-700 home): their programs and the build's shared libraries, and a CTest list
that names the copies with every property of the originals but the working folder.

    ordinary_user_copy.py BUILD COPY    reads `ctest --show-only=json-v1` of BUILD on standard input

Writes COPY/bin, COPY/lib and COPY/CTestTestfile.cmake. Programs outside BUILD are named as they are.
Tests that read files of the tree itself fail as the ordinary user, rather than pass unseen.
"""
import json
import os
import shutil
import sys


def bracket(value):
    """A CMake bracket argument: no escaping inside, so any text passes as it is."""
    text = str(value)
    fence = "="
    while "]" + fence + "]" in text:
        fence += "="
    return "[" + fence + "[" + text + "]" + fence + "]"


def property_value(value):
    if isinstance(value, list):
        return ";".join(str(item) for item in value)
    if isinstance(value, bool):
        return "ON" if value else "OFF"
    return value


def main():
    build, copy = (os.path.realpath(path) for path in sys.argv[1:3])
    tests = json.load(sys.stdin)["tests"]
    os.makedirs(os.path.join(copy, "bin"), exist_ok=True)
    lib = os.path.join(build, "lib")
    if os.path.isdir(lib):
        shutil.copytree(lib, os.path.join(copy, "lib"), dirs_exist_ok=True,
                        ignore=lambda folder, names: [n for n in names if ".so" not in n])
    lines = []
    for test in tests:
        command = list(test["command"])
        program = os.path.realpath(command[0])
        if program.startswith(build + os.sep):
            copied = os.path.join(copy, "bin", os.path.basename(program))
            if not os.path.exists(copied):
                shutil.copy2(program, copied)
            command[0] = copied
        lines.append("add_test(" + " ".join(bracket(part) for part in [test["name"]] + command) + ")")
        properties = ["WORKING_DIRECTORY", bracket(copy)]
        for prop in test.get("properties", []):
            if prop["name"] != "WORKING_DIRECTORY":
                properties += [prop["name"], bracket(property_value(prop["value"]))]
        lines.append("set_tests_properties(" + bracket(test["name"]) + " PROPERTIES " +
                     " ".join(properties) + ")")
    with open(os.path.join(copy, "CTestTestfile.cmake"), "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    print(len(tests))


if __name__ == "__main__":
    main()
