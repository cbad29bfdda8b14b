#!/usr/bin/env python3
"""ostrevan-scan --deep over volumes written by real tools (tools/make-deep-fixtures) against where each message
was written: per kind of volume at least 95 % of the contiguous messages found at their offset and at least 90 %
byte-exact, nothing on the volume of decoys; and the default scan on the same volumes gives exactly what the
standard scan written out step by step gives (tests/scan/ReferenceScanMain.cpp).

    deep_fixtures_test.py OSTREVAN_SCAN REFERENCE_SCAN [REPO_ROOT]

Prints the figures of each kind (ctest -V shows them).
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SCAN = REFERENCE = None
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = ("mkfs.fat", "mcopy", "mdel", "mkfs.ext4", "debugfs", "tar")


def have(tool):
    return shutil.which(tool) or os.path.exists("/usr/sbin/" + tool)


def scan_json(*args):
    result = subprocess.run([SCAN, "--json", "-q", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    if result.returncode != 0:
        raise AssertionError("ostrevan-scan %s: %s" % (" ".join(args), result.stderr.decode(errors="replace")))
    return [json.loads(line) for line in result.stdout.splitlines()]


class DeepFixtures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in TOOLS if not have(tool)]
        if missing:
            raise unittest.SkipTest("missing %s (make deps installs them)" % ", ".join(missing))
        cls.folder = tempfile.mkdtemp(prefix="ostrevan-deep-")
        subprocess.run([os.path.join(REPO, "tools", "make-deep-fixtures"), cls.folder], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(cls.folder, "truth.json")) as f:
            cls.truth = json.load(f)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def image(self, volume):
        return os.path.join(self.folder, volume["image"])

    def test_the_deep_scan_finds_the_messages_where_they_were_written(self):
        print("\n%-16s %9s %9s %9s %8s  %s" % ("kind", "messages", "found", "exact", "others",
                                               "default scan: found, exact"))
        for volume in self.truth:
            with self.subTest(volume["kind"]):
                found = {item["offset"]: item for item in scan_json("--deep", self.image(volume))}
                default = {item["offset"]: item for item in scan_json(self.image(volume))}
                expected = volume["messages"]
                at = [m for m in expected if m["offset"] in found]
                exact = [m for m in at if found[m["offset"]]["sha256"] == m["sha256"]]
                others = len(set(found) - {m["offset"] for m in expected})
                total = len(expected)
                default_at = [m for m in expected if m["offset"] in default]
                default_exact = [m for m in default_at if default[m["offset"]]["sha256"] == m["sha256"]]
                percent = lambda part: 100.0 * len(part) / max(total, 1)
                print("%-16s %9d %8.1f%% %8.1f%% %8d  %.1f%%, %.1f%%" % (
                    volume["kind"], total, percent(at), percent(exact), others, percent(default_at),
                    percent(default_exact)))
                if volume["kind"] == "decoys":
                    self.assertEqual(found, {})
                    continue
                self.assertGreaterEqual(total, 100)
                self.assertGreaterEqual(len(at), 0.95 * total)
                self.assertGreaterEqual(len(exact), 0.90 * total)
                self.assertLessEqual(others, 0.02 * total)
                # Every message that the default scan finds where it was written, the deep scan finds too.
                planted = {m["offset"] for m in expected}
                self.assertLessEqual(set(default) & planted, set(found))

    def test_the_default_scan_is_the_reference_scan_on_these_volumes(self):
        for volume in self.truth:
            with self.subTest(volume["kind"]):
                reference = subprocess.run([REFERENCE, self.image(volume), str(volume["sector_size"])],
                                           stdout=subprocess.PIPE, check=True, timeout=600).stdout.decode()
                expected = [tuple(line.split()) for line in reference.splitlines()]
                actual = [(str(m["offset"]), str(m["run_offset"]), str(m["size"]), m["sha256"])
                          for m in scan_json(self.image(volume))]
                self.assertEqual(actual, expected)

    def test_unique_lists_each_text_once(self):
        volume = next(v for v in self.truth if v["kind"] == "ext4-maildir-lf")
        all_found = scan_json("--deep", self.image(volume))
        result = subprocess.run([SCAN, "--deep", "--unique", "--json", self.image(volume)], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, check=True)
        unique = [json.loads(line) for line in result.stdout.splitlines()]
        self.assertEqual(len({m["sha256"] for m in all_found}), len(unique))
        self.assertEqual(len({m["sha256"] for m in unique}), len(unique))
        self.assertIn("%d duplicates dropped" % (len(all_found) - len(unique)), result.stderr.decode())


if __name__ == "__main__":
    SCAN, REFERENCE = sys.argv[1], sys.argv[2]
    if len(sys.argv) > 3:
        REPO = sys.argv[3]
    unittest.main(argv=[sys.argv[0], "-v"])
