#!/usr/bin/env python3
"""Writes the seam check: one C++ source that prints every constant, GUID,
type size and member offset our platform headers declare, compiled once
against our headers and once against the real ones, so the two printouts can
be compared line for line.

  make_seam_check.py --headers DIR --out check.cpp [--clang clang++]
  make_seam_check.py --headers DIR --audit     (every declaration classified?)

Names come from the headers themselves: #define lines by reading them, the
declarations by clang's AST, so nothing the seam declares goes unchecked
unless ours_only.txt says why the real headers lack it."""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

CHECKED_HEADERS = ["windows.h", "ddraw.h", "d3d.h", "dxfile.h", "rmxfguid.h"]
HERE = os.path.dirname(os.path.abspath(__file__))
# Macros whose value is a calling convention or qualifier, not a constant.
ATTRIBUTE_WORDS = {"", "const", "__stdcall", "__cdecl"}


def read_exclusions():
    names = {}
    with open(os.path.join(HERE, "ours_only.txt")) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, _, why = line.partition(" ")
            names[name] = why.strip()
    return names


def read_defines(headers):
    """(name, kind) for every #define; kind: value, function, attribute."""
    out = []
    kinds = {}
    for h in CHECKED_HEADERS:
        text = open(os.path.join(headers, h)).read().replace("\\\n", " ")
        for m in re.finditer(r"^\s*#\s*define\s+(\w+)(\(?)(.*)$", text, re.M):
            name, paren, value = m.group(1), m.group(2), m.group(3).strip()
            value = re.sub(r"//.*$", "", value).strip()
            if paren:
                kind = "function"
            elif value in ATTRIBUTE_WORDS or kinds.get(value) == "attribute":
                # An alias of an attribute macro (CALLBACK -> WINAPI) is one too.
                kind = "attribute"
            else:
                kind = "value"
            kinds[name] = kind
            out.append((name, kind))
    return out


class Ast:
    """Top-level declarations of our headers from clang's JSON AST dump."""

    def __init__(self, headers, clang):
        with tempfile.NamedTemporaryFile("w", suffix=".cpp", delete=False) as f:
            for h in CHECKED_HEADERS:
                f.write('#include "%s"\n' % h)
            src = f.name
        try:
            dump = subprocess.run([clang, "-std=c++20", "-fsyntax-only", "-Xclang", "-ast-dump=json",
                                   "-I", headers, src], check=True, capture_output=True).stdout
        finally:
            os.unlink(src)
        self.current = None
        self.decls = []  # (node, file)
        for node in json.loads(dump)["inner"]:
            self._top(node)

    def _note(self, loc):
        if not isinstance(loc, dict):
            return
        for k in ("spellingLoc", "expansionLoc"):
            self._note(loc.get(k))
        if "file" in loc:
            self.current = loc["file"]

    def _visit(self, node):
        self._note(node.get("loc"))
        rng = node.get("range", {})
        self._note(rng.get("begin"))
        self._note(rng.get("end"))
        for child in node.get("inner", []) or []:
            self._visit(child)

    def _top(self, node):
        self._note(node.get("loc"))
        here = self.current
        if node["kind"] == "LinkageSpecDecl":
            rng = node.get("range", {})
            self._note(rng.get("begin"))
            for child in node.get("inner", []) or []:
                self._top(child)
            return
        self._visit(node)
        if here and os.path.basename(here) in CHECKED_HEADERS and os.path.dirname(os.path.abspath(here)) == \
                os.path.abspath(self.headers_dir):
            self.decls.append(node)


def fields_of(record):
    """Member names of a record, anonymous unions and structs flattened."""
    names = []
    anonymous = {}
    for child in record.get("inner", []) or []:
        if child["kind"] in ("CXXRecordDecl", "RecordDecl") and not child.get("name"):
            anonymous[child["id"]] = child
        if child["kind"] == "FieldDecl":
            if child.get("name"):
                names.append(child["name"])
            else:
                # The anonymous record is the one declared just before it.
                inner = list(anonymous.values())[-1] if anonymous else None
                if inner:
                    names += fields_of(inner)
    return names


def is_interface(record):
    return any(c["kind"] == "CXXMethodDecl" and c.get("virtual") for c in record.get("inner", []) or [])


def collect(headers, clang):
    Ast.headers_dir = headers
    ast = Ast(headers, clang)
    items = []  # (kind, name, extra)
    unhandled = []
    records = {}
    typedef_of = {}
    for node in ast.decls:
        kind = node["kind"]
        if kind in ("CXXRecordDecl", "RecordDecl") and node.get("completeDefinition"):
            records[node["id"]] = node
    for node in ast.decls:
        kind = node["kind"]
        if kind == "TypedefDecl":
            inner = (node.get("inner") or [{}])[0]
            decl = inner.get("ownedTagDecl") or inner.get("decl") or {}
            if inner.get("kind") == "ElaboratedType":
                decl = inner.get("ownedTagDecl") or (inner.get("inner") or [{}])[0].get("decl") or {}
            typedef_of.setdefault(decl.get("id"), node["name"])
            qual = node.get("type", {}).get("qualType", "")
            items.append(("size", node["name"], qual))
        elif kind == "VarDecl":
            if node.get("type", {}).get("qualType", "") in ("const GUID", "const IID"):
                items.append(("guid", node["name"], None))
            else:
                unhandled.append(node["name"])
        elif kind == "EnumDecl":
            for c in node.get("inner", []) or []:
                if c["kind"] == "EnumConstantDecl":
                    items.append(("enum", c["name"], None))
        elif kind not in ("CXXRecordDecl", "RecordDecl", "FunctionDecl", "StaticAssertDecl"):
            # Functions have no value to compare; anything else would go unchecked.
            unhandled.append("%s %s" % (kind, node.get("name", "")))
    for rid, rec in records.items():
        if is_interface(rec):
            continue
        name = typedef_of.get(rid) or rec.get("name")
        if not name:
            continue
        if not typedef_of.get(rid):
            items.append(("size", name, "struct"))
        for field in fields_of(rec):
            items.append(("offset", name, field))
    return items, unhandled


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--headers", required=True)
    p.add_argument("--out")
    p.add_argument("--clang", default="clang++")
    p.add_argument("--audit", action="store_true")
    args = p.parse_args()
    excluded = read_exclusions()
    defines = read_defines(args.headers)
    items, unhandled = collect(args.headers, args.clang)
    if unhandled:
        print("declarations the check cannot compare yet: " + ", ".join(unhandled), file=sys.stderr)
        return 1
    declared = {n for n, _ in defines} | {n for k, n, _ in items} | \
               {"%s.%s" % (n, f) for k, n, f in items if k == "offset"}
    stale = sorted(n for n in excluded if n not in declared)
    if stale:
        print("ours_only.txt names what the headers no longer declare: " + " ".join(stale), file=sys.stderr)
        return 1
    lines = []
    skipped = 0
    for name, kind in defines:
        if name in excluded or kind != "value":
            skipped += 1
            continue
        lines.append("    SEAM_VALUE(%s);" % name)
    for kind, name, extra in items:
        key = "%s.%s" % (name, extra) if kind == "offset" else name
        if key in excluded:
            skipped += 1
            continue
        if kind == "size":
            lines.append("    SEAM_SIZE(%s);" % name)
        elif kind == "guid":
            lines.append("    SEAM_GUID(%s);" % name)
        elif kind == "enum":
            lines.append("    SEAM_VALUE(%s);" % name)
        elif kind == "offset":
            lines.append("    SEAM_OFFSET(%s, %s);" % (name, extra))
    if args.audit:
        print("%d checked, %d left out (function-like, attributes, ours_only.txt)" % (len(lines), skipped))
        return 0 if lines else 1
    with open(args.out, "w") as f:
        f.write("// Generated by windows/seam/make_seam_check.py; do not edit.\n")
        f.write('#include "seam_print.h"\n\nvoid PrintSeam() {\n')
        f.write("\n".join(lines))
        f.write("\n}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
