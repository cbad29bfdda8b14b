#!/usr/bin/env python3
"""tools/wine-run in its test mode, with stand-ins for wine64 and wineserver: a failed start of Wine itself is
tried once more, a failure of the program is not, and Wine's own messages are kept apart from the program's.

    wine_run_test.py [REPO_ROOT]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The stand-in for wine64: prefix set-up commands succeed (wineboot makes the prefix's folder); a program run takes the next step of the plan in
# $FAKE_PLAN (one step per run, separated by "|"), whose parts are "out:TEXT", "err:TEXT" (each a line) and
# "rc:N", and logs the WINEDEBUG it was given.
FAKE_WINE = r"""#!/usr/bin/env bash
case $1 in wineboot) mkdir -p "$WINEPREFIX"; exit 0 ;; reg) exit 0 ;; esac
n=$(cat "$FAKE_DIR/runs" 2>/dev/null || echo 0)
echo $((n + 1)) >"$FAKE_DIR/runs"
echo "$WINEDEBUG" >>"$FAKE_DIR/winedebug"
IFS='|' read -ra steps <<<"$FAKE_PLAN"
IFS=';' read -ra parts <<<"${steps[$n]}"
rc=0
for part in "${parts[@]}"; do
    case $part in
    out:*) echo "${part#out:}" ;;
    err:*) echo "${part#err:}" >&2 ;;
    rc:*) rc=${part#rc:} ;;
    esac
done
exit $rc
"""
FAKE_WINESERVER = "#!/usr/bin/env bash\nexit 0\n"

STARTUP = "err:wine: could not load kernel32.dll, status c0000135"
MODULE = "err:0024:err:module:LdrInitializeThunk Importing dlls for L\"x.exe\" failed, status c0000135"


class WineRunTestMode(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ostrevan-wine-run-")
        for name, text in (("wine64", FAKE_WINE), ("wineserver", FAKE_WINESERVER)):
            path = os.path.join(self.folder, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def run_plan(self, plan, wine_log=None):
        for name in ("runs", "winedebug"):
            if os.path.exists(os.path.join(self.folder, name)):
                os.remove(os.path.join(self.folder, name))
        env = dict(os.environ, OSTREVAN_WINE=os.path.join(self.folder, "wine64"),
                   OSTREVAN_WINESERVER=os.path.join(self.folder, "wineserver"),
                   OSTREVAN_WINEPREFIX=os.path.join(self.folder, "prefix"), OSTREVAN_WINE_TEST="1",
                   FAKE_DIR=self.folder, FAKE_PLAN="|".join(plan), WINEDEBUG="-all")
        env.pop("OSTREVAN_WINE_LOG", None)
        if wine_log:
            env["OSTREVAN_WINE_LOG"] = wine_log
        result = subprocess.run([os.path.join(REPO, "tools", "wine-run"), "program.exe"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        with open(os.path.join(self.folder, "runs")) as f:
            runs = int(f.read())
        return result.returncode, result.stdout.decode(), result.stderr.decode(), runs

    def test_retries_only_when_wine_itself_failed_to_start_the_program(self):
        cases = [
            # plan, exit code, stdout, runs, text that stderr holds
            ([STARTUP + ";rc:1", "out:hello"], 0, "hello\n", 2, "trying once more"),
            ([MODULE + ";rc:1", "out:hello"], 0, "hello\n", 2, "LdrInitializeThunk"),
            ([STARTUP + ";rc:1", STARTUP + ";rc:1"], 1, "", 2, "could not load kernel32.dll"),
            (["err:prog: cannot open x;rc:1", "out:never"], 1, "", 1, "prog: cannot open x"),
            (["out:partial;" + STARTUP + ";rc:1", "out:never"], 1, "partial\n", 1, "could not load"),
            (["err:wine: Unhandled page fault on read access to 0000000000000000;rc:5", "out:never"], 5, "", 1,
             "Unhandled page fault"),
            (["rc:1", "out:never"], 1, "", 1, "neither it nor Wine said why"),
            (["err:wine: configuration in L\"/x\" has been updated.;rc:0", "out:never"], 0, "", 1, "configuration"),
        ]
        for plan, code, out, runs, said in cases:
            with self.subTest(plan=plan):
                got_code, got_out, got_err, got_runs = self.run_plan(plan)
                self.assertEqual((got_code, got_out, got_runs), (code, out, runs), got_err)
                self.assertIn(said, got_err)

    def test_wine_messages_are_kept_apart_from_the_programs_own(self):
        log = os.path.join(self.folder, "wine.log")
        plan = ["out:result;err:0024:err:ole:CoInitialize oops;err:program: a warning;rc:0"]
        code, out, err, runs = self.run_plan(plan, wine_log=log)
        self.assertEqual((code, out, err, runs), (0, "result\n", "program: a warning\n", 1))
        with open(log) as f:
            self.assertEqual(f.read(), "0024:err:ole:CoInitialize oops\n")
        code, out, err, runs = self.run_plan(plan)
        self.assertEqual(err, "program: a warning\n0024:err:ole:CoInitialize oops\n")
        with open(os.path.join(self.folder, "winedebug")) as f:
            self.assertEqual(f.read(), "-all,err+all\n", "the error channel stays on in tests")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        REPO = sys.argv.pop(1)
    unittest.main(argv=[sys.argv[0], "-v"])
