#!/usr/bin/env python3
"""ostrevan-scan run as a child process over small images made here: output formats, export, keyword filter,
errors and exit codes, and the sample disk image against its ground truth.

    cli_test.py PATH/TO/ostrevan-scan [REPO_ROOT]   (the program may be a command line, e.g. "wine-run x.exe")
"""

import hashlib
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

SCAN = []
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SECTOR = 512
JSON_KEYS = ["index", "offset", "run_offset", "from", "to", "subject", "date", "size", "body_size", "sha256"]


def message(sender, to, subject, body, date="Tue, 1 Dec 2026 10:00:00 +0000"):
    return ("From: %s\r\nTo: %s\r\nSubject: %s\r\nDate: %s\r\n\r\n%s\r\n" % (sender, to, subject, date, body)).encode(
        "latin-1")


def run(*args):
    """Exit code, standard output and standard error of one run. Under Wine (tools/wine-run), Wine's own messages
    are kept out of the program's standard error and printed here, so that a failing test shows them."""
    with tempfile.NamedTemporaryFile(prefix="ostrevan-wine-", suffix=".log") as wine_log:
        env = dict(os.environ, OSTREVAN_WINE_TEST="1", OSTREVAN_WINE_LOG=wine_log.name)
        result = subprocess.run(SCAN + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=300, env=env)
        wine_messages = wine_log.read().decode("latin-1")
    if wine_messages:
        sys.stderr.write("Wine's messages while running %s:\n%s" % (" ".join(args), wine_messages))
    return result.returncode, result.stdout, result.stderr.decode("latin-1")


class ImageCase(unittest.TestCase):
    """A 64-sector image with three messages: two back to back at sector 2, one at sector 20 whose subject
    holds a tab and a quote."""

    FIRST = message("Ann <ann@example.org>", "bob@example.org", "Budget", "The numbers are in.\r\nAnn")
    SECOND = message("carol@example.org", "dave@example.org", "Lunch", "Noon at the usual place?")
    THIRD = message("eve@example.org", "frank@example.org", 'Tab\there "quoted" \\ back', "KEYWORD inside.")

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ostrevan-cli-")
        image = bytearray(64 * SECTOR)
        image[2 * SECTOR:2 * SECTOR + len(self.FIRST + self.SECOND)] = self.FIRST + self.SECOND
        image[20 * SECTOR:20 * SECTOR + len(self.THIRD)] = self.THIRD
        self.image = os.path.join(self.folder, "small.img")
        with open(self.image, "wb") as f:
            f.write(image)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def json_lines(self, *args):
        code, out, err = run("--json", *args)
        self.assertEqual(code, 0, err)
        return [json.loads(line) for line in out.decode("ascii").splitlines()]


class JsonOutput(ImageCase):
    def test_keys_and_values_of_every_message(self):
        lines = self.json_lines("-q", self.image)
        expected = [(0, 2 * SECTOR, 2 * SECTOR, self.FIRST, " Ann <ann@example.org>", " Budget"),
                    (1, 2 * SECTOR + len(self.FIRST), 2 * SECTOR, self.SECOND, " carol@example.org", " Lunch"),
                    (2, 20 * SECTOR, 20 * SECTOR, self.THIRD, " eve@example.org", ' Tab\there "quoted" \\ back')]
        self.assertEqual(len(lines), len(expected))
        for line, (index, offset, run_offset, text, sender, subject) in zip(lines, expected):
            self.assertEqual(list(line.keys()), JSON_KEYS)
            self.assertEqual((line["index"], line["offset"], line["run_offset"]), (index, offset, run_offset))
            self.assertEqual((line["from"], line["subject"]), (sender, subject))
            self.assertEqual(line["date"], " Tue, 1 Dec 2026 10:00:00 +0000")
            self.assertEqual(line["size"], len(text))
            self.assertEqual(line["body_size"], len(text) - text.index(b"\r\n\r\n") - 2)
            self.assertEqual(line["sha256"], hashlib.sha256(text).hexdigest())

    def test_control_bytes_are_escaped_and_the_output_is_ascii(self):
        # Tab and vertical tab are the control bytes that a run can hold; other bytes are the JSON writer's
        # unit test's business.
        text = message("a@example.org", "b@example.org", "Odd\x0b\t", "x")
        image = bytearray(8 * SECTOR)
        image[SECTOR:SECTOR + len(text)] = text
        with open(self.image, "wb") as f:
            f.write(image)
        code, out, err = run("--json", "-q", self.image)
        self.assertEqual(code, 0, err)
        self.assertIn(b'"subject":" Odd\\u000b\\t"', out)
        self.assertEqual(json.loads(out)["subject"], " Odd\x0b\t")

    def test_keyword_lists_matching_bodies_only_keeping_their_index(self):
        for word in ("keyword", "KeyWord", "ide."):
            lines = self.json_lines("-q", "--keyword", word, self.image)
            self.assertEqual([line["index"] for line in lines], [2], word)
        self.assertEqual(self.json_lines("-q", "--keyword", "Subject", self.image), [])


class TableOutput(ImageCase):
    def test_header_and_one_row_per_message_with_fields_shown_safely(self):
        code, out, err = run(self.image)
        self.assertEqual(code, 0, err)
        rows = out.decode("ascii").splitlines()
        self.assertEqual(rows[0].split(), ["Item", "Num", "Offset", "Date", "From", "To", "Subject"])
        self.assertEqual(len(rows), 4)
        self.assertEqual(rows[1].split()[:2], ["0", str(2 * SECTOR)])
        self.assertIn("Ann <ann@example.org>", rows[1])
        self.assertIn('Tab.here "quoted" \\ back', rows[3])
        self.assertNotIn("\t", out.decode("ascii"))
        self.assertRegex(err, r"64 sectors scanned, 0 unreadable, 3 messages found, .* bytes/s")

    def test_quiet_prints_no_summary_and_keyword_keeps_item_numbers(self):
        code, out, err = run("-q", "--keyword", "usual", self.image)
        self.assertEqual((code, err), (0, ""))
        rows = out.decode("ascii").splitlines()
        self.assertEqual(len(rows), 2)
        self.assertEqual(rows[1].split()[0], "1")


class Export(ImageCase):
    def test_writes_each_listed_message_byte_for_byte_numbered_by_output_position(self):
        target = os.path.join(self.folder, "out", "nested")
        code, _, err = run("-q", "--export", target, "--keyword", "e", self.image)
        self.assertEqual(code, 0, err)
        names = sorted(os.listdir(target))
        self.assertEqual(names, ["RecoveredEmail0.eml", "RecoveredEmail1.eml", "RecoveredEmail2.eml"])
        for k, text in enumerate([self.FIRST, self.SECOND, self.THIRD]):
            with open(os.path.join(target, "RecoveredEmail%d.eml" % k), "rb") as f:
                self.assertEqual(f.read(), text)
        code, _, err = run("-q", "--export", os.path.join(self.folder, "kw"), "--keyword", "keyword", self.image)
        self.assertEqual(code, 0, err)
        self.assertEqual(os.listdir(os.path.join(self.folder, "kw")), ["RecoveredEmail0.eml"])

    def test_never_overwrites_and_fails_when_a_file_was_not_written(self):
        target = os.path.join(self.folder, "out")
        os.mkdir(target)
        existing = os.path.join(target, "RecoveredEmail1.eml")
        with open(existing, "wb") as f:
            f.write(b"keep me")
        code, _, err = run("-q", "--export", target, self.image)
        self.assertEqual(code, 1)
        self.assertIn("RecoveredEmail1.eml", err)
        self.assertIn("not overwritten", err)
        with open(existing, "rb") as f:
            self.assertEqual(f.read(), b"keep me")
        with open(os.path.join(target, "RecoveredEmail2.eml"), "rb") as f:
            self.assertEqual(f.read(), self.THIRD)

    def test_a_file_in_place_of_the_folder_is_an_error_before_scanning(self):
        blocker = os.path.join(self.folder, "blocker")
        with open(blocker, "wb") as f:
            f.write(b"x")
        code, out, err = run("--export", blocker, self.image)
        self.assertEqual((code, out), (1, b""))
        self.assertIn("blocker", err)

    def test_no_folder_is_made_when_the_source_cannot_be_opened(self):
        target = os.path.join(self.folder, "never")
        code, _, err = run("--export", target, os.path.join(self.folder, "missing.img"))
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(target), err)

    def test_nothing_is_written_without_export(self):
        before = sorted(os.listdir(self.folder))
        self.assertEqual(run("-q", self.image)[0], 0)
        self.assertEqual(sorted(os.listdir(self.folder)), before)


class ErrorsAndExitCodes(ImageCase):
    def test_unusable_sources_fail_naming_the_source(self):
        empty = os.path.join(self.folder, "empty.img")
        open(empty, "wb").close()
        short = os.path.join(self.folder, "short.img")
        with open(short, "wb") as f:
            f.write(b"x" * 100)
        for source in (os.path.join(self.folder, "missing.img"), self.folder, empty, short):
            code, out, err = run(source)
            self.assertEqual(code, 1, source)
            self.assertEqual(out, b"", source)
            self.assertIn(os.path.basename(source), err, source)
            self.assertNotIn("Traceback", err)

    def test_bad_usage_exits_2(self):
        for args in ([], ["--bogus", self.image], ["--keyword"], ["--keyword", "", self.image],
                     ["--sector-size", "1000", self.image], ["--sector-size", "x", self.image],
                     ["--export"], [self.image, self.image]):
            code, out, err = run(*args)
            self.assertEqual(code, 2, args)
            self.assertIn("ostrevan-scan:", err, args)

    def test_help_and_version_exit_0(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn(b"--sector-size", out)
        code, out, _ = run("--version")
        self.assertEqual((code, out.strip()), (0, b"ostrevan-scan 1.0"))

    def test_sector_size_option_moves_the_walk(self):
        # At 4096-byte sectors the message at byte 2048 lies inside a sector and is not found; at 2048 it is.
        text = message("a@example.org", "b@example.org", "Mid", "x")
        image = bytearray(16 * 4096)
        image[2048:2048 + len(text)] = text
        with open(self.image, "wb") as f:
            f.write(image)
        self.assertEqual(len(self.json_lines("-q", "--sector-size", "2048", self.image)), 1)
        self.assertEqual(self.json_lines("-q", "--sector-size", "4096", self.image), [])


class DeepAndUnique(ImageCase):
    LF = (b"Return-Path: <ann@example.org>\nFrom: Ann <ann@example.org>\nTo: bob@example.org\n"
          b"Subject: Caf\xc3\xa9\nDate: Tue, 1 Dec 2026 10:00:00 +0000\n\nLF lines, UTF-8 text: \xc3\xa9t\xc3\xa9\n")

    def write(self, placements):
        image = bytearray(64 * SECTOR)
        for offset, text in placements:
            image[offset:offset + len(text)] = text
        with open(self.image, "wb") as f:
            f.write(image)

    def test_deep_finds_what_the_default_scan_misses_with_the_same_keys(self):
        self.write([(5 * SECTOR + 100, self.LF), (30 * SECTOR, self.FIRST)])
        self.assertEqual([line["offset"] for line in self.json_lines("-q", self.image)], [30 * SECTOR])
        lines = self.json_lines("-q", "--deep", self.image)
        self.assertEqual([line["offset"] for line in lines], [5 * SECTOR + 100, 30 * SECTOR])
        self.assertEqual(list(lines[0].keys()), JSON_KEYS)
        self.assertEqual(lines[0]["subject"], " Caf\u00c3\u00a9")  # the stored bytes, one code point each
        self.assertEqual(lines[0]["sha256"], hashlib.sha256(self.LF).hexdigest())
        target = os.path.join(self.folder, "out")
        code, _, err = run("-q", "--deep", "--export", target, self.image)
        self.assertEqual(code, 0, err)
        with open(os.path.join(target, "RecoveredEmail0.eml"), "rb") as f:
            self.assertEqual(f.read(), self.LF)

    def test_unique_lists_each_text_once_and_counts_the_rest(self):
        self.write([(2 * SECTOR, self.FIRST), (10 * SECTOR, self.SECOND), (20 * SECTOR, self.FIRST)])
        self.assertEqual(len(self.json_lines("-q", self.image)), 3)
        for mode in ([], ["--deep"]):
            code, out, err = run("--json", "--unique", *mode, self.image)
            self.assertEqual(code, 0, err)
            lines = [json.loads(line) for line in out.decode("ascii").splitlines()]
            self.assertEqual([(line["index"], line["offset"]) for line in lines], [(0, 2 * SECTOR), (1, 10 * SECTOR)])
            self.assertRegex(err, r"3 messages found, 1 duplicates dropped \(2 listed\)")

    def test_help_names_the_options(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn(b"--deep", out)
        self.assertIn(b"--unique", out)


class Threads(unittest.TestCase):
    """A 40 MiB image, so that the walk is cut into several ranges, with messages at and around the ranges' edges
    (sector 1 + k * 32768 begins range k) and a long run that crosses an edge and holds a message at the sector
    where the next range begins: the single walk finds that one only as part of the long run."""

    RANGE = 32768 * SECTOR

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ostrevan-threads-")
        self.image = os.path.join(self.folder, "ranges.img")
        edge, far_edge = SECTOR + self.RANGE, SECTOR + 2 * self.RANGE
        with open(self.image, "wb") as f:
            f.truncate(40 << 20)
            for at in (edge - 2 * SECTOR, edge, edge + SECTOR):
                f.seek(at)
                f.write(message("edge@example.org", "t@example.org", "At %d" % at, "keyword %d" % at))
            start = far_edge - 3 * (1 << 20)
            run = message("long@example.org", "t@example.org", "Long", "x" * 100)
            run += b" " * (far_edge - start - len(run) - 2) + b"\r\n"
            run += message("inside@example.org", "t@example.org", "In", "y") + b"z" * (2 << 20)
            f.seek(start)
            f.write(run + b"\0")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def scan(self, threads, *args):
        out_dir = os.path.join(self.folder, "export-%d" % threads)
        code, out, err = run("--threads", str(threads), "--export", out_dir, *args, self.image)
        self.assertEqual(code, 0, err)
        summary = [line.split(", ")[:3] for line in err.splitlines() if "sectors scanned" in line]
        files = {}
        for name in os.listdir(out_dir):
            with open(os.path.join(out_dir, name), "rb") as f:
                files[name] = f.read()
        shutil.rmtree(out_dir)
        return out, summary, files

    def test_every_thread_count_gives_the_single_walks_output_and_files(self):
        for args in ((), ("--json",), ("--json", "-q", "--keyword", "KEYWORD")):
            single = self.scan(1, *args)
            self.assertTrue(single[2])
            if "--keyword" not in args:  # cut from the long run, and only there
                self.assertEqual(single[0].count(b"inside@example.org"), 1)
            for threads in (2, 3, 7):
                self.assertEqual(self.scan(threads, *args), single, "%d threads, %s" % (threads, args))

    def test_the_thread_count_is_checked(self):
        for bad in ("0", "257", "two", ""):
            code, _, err = run("--threads", bad, self.image)
            self.assertEqual(code, 2, err)
            self.assertIn("--threads", err)


class SampleImage(unittest.TestCase):
    def test_the_scan_finds_exactly_the_ground_truth(self):
        if not (shutil.which("mcopy") and (shutil.which("mkfs.fat") or os.path.exists("/usr/sbin/mkfs.fat"))):
            self.skipTest("mtools or dosfstools missing (make deps installs them)")
        folder = tempfile.mkdtemp(prefix="ostrevan-sample-")
        try:
            image = os.path.join(folder, "sample.img")
            subprocess.run([os.path.join(REPO, "tools", "make-sample-image"), image], check=True,
                           stdout=subprocess.DEVNULL)
            with open(image + ".truth.json") as f:
                truth = json.load(f)
            code, out, err = run("--json", "-q", image)
            self.assertEqual(code, 0, err)
            found = [json.loads(line) for line in out.decode("ascii").splitlines()]
            self.assertGreaterEqual(len(truth["messages"]), 20)
            self.assertEqual(len(found), len(truth["messages"]))
            for index, (got, want) in enumerate(zip(found, truth["messages"])):
                self.assertEqual(got["index"], index)
                for key in ("offset", "run_offset", "from", "to", "subject", "date", "size", "sha256"):
                    self.assertEqual(got[key], want[key], "%s of %s" % (key, want["file"]))
            missed = {item["offset"] for item in truth["not_found"]}
            self.assertTrue(missed)
            self.assertFalse(missed & {item["offset"] for item in found})
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    SCAN = shlex.split(sys.argv[1])
    if len(sys.argv) > 2:
        REPO = sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"])
