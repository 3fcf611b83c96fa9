#!/usr/bin/env python3
"""The seam check lists every declaration of our platform headers: a header
that gains something the check cannot compare, or a stale entry in
ours_only.txt, makes the listing fail instead of silently checking less."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.path.join(TOP, "windows", "seam", "make_seam_check.py")
HEADERS = os.path.join(TOP, "platform", "include")
CLANG = os.environ.get("SEAM_CLANG", "clang++")


def run(headers, *extra):
    return subprocess.run([sys.executable, TOOL, "--headers", headers, "--clang", CLANG, *extra],
                          capture_output=True, text=True)


class SeamAudit(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.headers = os.path.join(self.tmp, "include")
        shutil.copytree(HEADERS, self.headers)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def append(self, header, text):
        with open(os.path.join(self.headers, header), "a") as f:
            f.write(text)

    def test_our_headers_are_fully_listed(self):
        r = run(HEADERS, "--audit")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertRegex(r.stdout, r"^\d{3,} checked")

    def test_every_kind_of_declaration_lands_in_the_listing(self):
        self.append("d3d.h", "\n#define SEAM_PROBE_VALUE 0x1234\n"
                    "typedef struct _SEAMPROBE { DWORD a; union { WORD b; BYTE c; }; } SEAMPROBE;\n"
                    "typedef enum _SEAMPROBEENUM { SEAMPROBE_ONE = 1 } SEAMPROBEENUM;\n"
                    "inline const GUID IID_SeamProbe = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};\n")
        out = os.path.join(self.tmp, "names.cpp")
        r = run(self.headers, "--out", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        text = open(out).read()
        for line in ("SEAM_VALUE(SEAM_PROBE_VALUE);", "SEAM_SIZE(SEAMPROBE);", "SEAM_OFFSET(SEAMPROBE, a);",
                     "SEAM_OFFSET(SEAMPROBE, b);", "SEAM_OFFSET(SEAMPROBE, c);", "SEAM_VALUE(SEAMPROBE_ONE);",
                     "SEAM_GUID(IID_SeamProbe);"):
            self.assertIn(line, text)

    def test_a_declaration_it_cannot_compare_fails_the_listing(self):
        self.append("ddraw.h", "\nconstexpr DWORD kSeamProbe = 7;\n")
        r = run(self.headers, "--audit")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("kSeamProbe", r.stderr)

    def test_a_stale_exclusion_fails_the_listing(self):
        # Dropping the array view from our matrix leaves its exclusion behind.
        path = os.path.join(self.headers, "d3d.h")
        text = open(path).read().replace("D3DVALUE m[4][4];", "")
        open(path, "w").write(text)
        r = run(self.headers, "--audit")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("D3DMATRIX.m", r.stderr)


if __name__ == "__main__":
    unittest.main()
