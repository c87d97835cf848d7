#!/usr/bin/env python3
"""The layer check on small source trees of its own."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "check-layers.py")


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.root = self.directory.name
        self.allowed = os.path.join(self.root, "allowed.txt")
        self.allow()

    def tearDown(self):
        self.directory.cleanup()

    def write(self, path, *includes):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as source:
            source.write("// a file\n")
            for include in includes:
                source.write(f'#include "{include}"\n')

    def allow(self, *entries):
        with open(self.allowed, "w", encoding="utf-8") as listing:
            listing.write("# allowed\n")
            for entry in entries:
                listing.write(entry + "\n")

    def check(self):
        run = subprocess.run([sys.executable, SCRIPT, "--root", self.root, "--allowed",
                              self.allowed], capture_output=True, text=True, check=False)
        return run.returncode, run.stderr

    def test_includes_downward_and_within_a_rank_pass(self):
        self.write("src/log/A.cpp", "base/B.h", "thread/C.h", "platform/D.h", "log/E.h")
        self.write("include/exception/F.h", "base/G.h", "internal/H.h")
        self.write("src/service/I.cpp", "prefs/J.h", "library/K.h")
        self.assertEqual(0, self.check()[0])

    def test_an_upward_include_fails_naming_its_file_line_and_area(self):
        self.write("src/base/A.cpp", "base/B.h", "log/StaticLog.h")
        status, errors = self.check()
        self.assertEqual(1, status)
        self.assertIn("src/base/A.cpp:3 → log", errors)

    def test_an_upward_include_from_a_public_header_fails(self):
        self.write("include/thread/A.h", "config/Configuration.h")
        status, errors = self.check()
        self.assertEqual(1, status)
        self.assertIn("include/thread/A.h:2 → config", errors)

    def test_an_allowed_upward_include_passes(self):
        self.write("src/base/A.cpp", "log/StaticLog.h")
        self.allow("src/base/A.cpp -> log/StaticLog.h: the reason")
        self.assertEqual(0, self.check()[0])

    def test_an_allowed_entry_covers_only_its_own_header(self):
        self.write("src/base/A.cpp", "log/StaticLog.h", "log/LogEvent.h")
        self.allow("src/base/A.cpp -> log/StaticLog.h: the reason")
        status, errors = self.check()
        self.assertEqual(1, status)
        self.assertIn("src/base/A.cpp:3 → log", errors)
        self.assertNotIn("A.cpp:2", errors)

    def test_an_allowed_entry_that_no_longer_occurs_fails(self):
        self.write("src/base/A.cpp", "base/B.h")
        self.allow("src/base/A.cpp -> log/StaticLog.h: the reason")
        status, errors = self.check()
        self.assertEqual(1, status)
        self.assertIn("src/base/A.cpp -> log/StaticLog.h", errors)

    def test_an_allowed_entry_without_a_reason_fails(self):
        self.write("src/base/A.cpp", "log/StaticLog.h")
        self.allow("src/base/A.cpp -> log/StaticLog.h")
        self.assertEqual(1, self.check()[0])

    def test_a_file_in_an_area_without_a_rank_fails(self):
        self.write("src/newarea/A.cpp", "base/B.h")
        status, errors = self.check()
        self.assertEqual(1, status)
        self.assertIn("newarea", errors)

    def test_includes_of_other_libraries_and_local_headers_are_not_areas(self):
        self.write("src/base/A.cpp", "boost/shared_ptr.hpp", "LocalHelper.h", "gtest/gtest.h")
        self.assertEqual(0, self.check()[0])


if __name__ == "__main__":
    unittest.main()
