#!/usr/bin/env python3
"""Lists the public classes of include/ by area, each with the header that declares it.

  class-index.py              prints the index, one area a line, as the README's layout table has it
  class-index.py --check FILE fails, naming them, when a class of the index is not in FILE

A public class is a class, struct, enum or exception declared at namespace level in a header of
include/<area>/, in the namespaces krel_std, KrelStd (the older API, listed in a row of its own) and krel_platform;
classes of krel_std_internal and the stand-in's Win32 types are not part of the interface. A class
declared in the header named after it is listed by name; any other is listed with its header.
"""
import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
# The areas lowest layer first, as the README's layout table draws them.
AREAS = ["platform", "exception", "base", "thread", "pattern", "system", "file", "config", "log",
         "xml", "connection", "prefs", "service", "process", "library", "jni"]
OLDER = "older API (`KrelStd`)"
PUBLIC = {"krel_std", "KrelStd", "krel_platform"}
DECLARATION = re.compile(
    r"^(?:template\s*<[^;{]*>\s*)?(?:class|struct|enum(?:\s+class)?)\s+(?:\[\[\w+\]\]\s+)?(\w+)"
    r"(?:<[^;{]*>)?(?:\s+final)?\s*(?::[^;{]*)?\{", re.M)
EXCEPTION = re.compile(r"^KREL_DECLARE_EXCEPTION\((\w+),", re.M)
NAMESPACE = re.compile(r"^namespace\s+(\w+)\s*\{|^\}\s*//\s*namespace", re.M)


def public_classes(text):
    """(namespace, name) of each class declared at namespace level in a public namespace."""
    names, spans, current, start = [], [], None, 0
    for m in NAMESPACE.finditer(text):
        if m.group(1):
            current, start = m.group(1), m.end()
        elif current:
            spans.append((current, text[start:m.start()]))
            current = None
    for namespace, body in spans:
        if namespace in PUBLIC:
            for m in sorted(list(DECLARATION.finditer(body)) + list(EXCEPTION.finditer(body)),
                            key=lambda m: m.start()):
                if (namespace, m.group(1)) not in names:
                    names.append((namespace, m.group(1)))
    return names


def index():
    """{row: [(class, header)]} over include/: a row per area, the older API in a row of its own."""
    areas = {f"`{area}`": [] for area in AREAS}
    areas[OLDER] = []
    include = os.path.join(ROOT, "include")
    for area in sorted(os.listdir(include), key=lambda a: (AREAS + [a]).index(a)):
        for header in sorted(os.listdir(os.path.join(include, area))):
            if header.endswith(".h"):
                with open(os.path.join(include, area, header), encoding="utf-8") as f:
                    for namespace, name in public_classes(f.read()):
                        if namespace == "KrelStd":
                            areas[OLDER].append((name, f"{area}/{header}"))
                        else:
                            areas.setdefault(f"`{area}`", []).append((name, header))
    return areas


def entry(name, header):
    """The class, with its header unless the header is named after it (the older API's with its
    area)."""
    area, _, file = header.rpartition("/")
    if file == name + ".h":
        return f"{name} ({area})" if area else name
    return f"{name} ({header})"


def main():
    areas = index()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        with open(sys.argv[2], encoding="utf-8") as f:
            text = f.read()
        missing = [f"{name} ({header}), row {area}" for area, classes in areas.items()
                   for name, header in classes if not re.search(rf"\b{name}\b", text)]
        for line in missing:
            print(f"not in {sys.argv[2]}: {line}")
        return 1 if missing else 0
    for area, classes in areas.items():
        if classes:
                print(f"| {area} | " + ", ".join(entry(n, h) for n, h in classes) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
