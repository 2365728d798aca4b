#!/usr/bin/env python3
"""Black-box test of tavrel-clock.exe under Wine.

Inside private network and mount namespaces (the time server's host name on
127.0.0.1, a time server of this script on port 80) and without the right to
set the clock, the program runs in a throw-away Wine prefix and home. It must
write its shortcut onto that home's desktop, send its HEAD request to the
loopback server and, since Wine refuses to move the clock, show the failure
box; a helper program reads the box's title and text and closes it.

Usage: wine_blackbox_test.py <wine-run.sh> <tavrel-clock.exe> <box_reader.exe>
Exit status 77 (a skip for CTest) when the namespaces cannot be made.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blackbox_test as common  # noqa: E402

WINE_RUN = ""
PROGRAM = ""
BOX_READER = ""


class WineBlackBoxTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrel-wine-blackbox-")
        self.home = os.path.join(self.work, "home")
        os.makedirs(os.path.join(self.home, "Desktop"))
        bin_dir = os.path.join(self.work, "bin")
        os.makedirs(bin_dir)
        self.opened = os.path.join(self.work, "xdg-open.log")
        fake = os.path.join(bin_dir, "xdg-open")
        with open(fake, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$*" >> "' + self.opened + '"\n')
        os.chmod(fake, 0o755)
        self.env = dict(os.environ)
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            self.env.pop(name, None)
        self.env.update({
            "TAVREL_WINEPREFIX": os.path.join(self.work, "prefix"),
            "TAVREL_WINE_HOME": self.home,
            "PATH": bin_dir + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
        })
        self.server = common.TimeServer(time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime()))
        self.program = None

    def tearDown(self):
        # Ends every process of the throw-away prefix, the program included.
        env = dict(self.env, WINEPREFIX=self.env["TAVREL_WINEPREFIX"])
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.program and self.program.poll() is None:
            self.program.kill()
        if self.program:
            self.program.wait()
        self.server.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def boxes(self, close=False):
        result = subprocess.run(common.DROP_SYS_TIME + [WINE_RUN, BOX_READER] + (["close"] if close else []),
                                env=self.env, capture_output=True, timeout=120)
        lines = result.stdout.decode("utf-8", errors="replace").splitlines()
        return [tuple(line.split("\t", 1)) for line in lines if "\t" in line]

    def test_program_writes_shortcut_requests_time_and_shows_the_failure_box(self):
        self.program = subprocess.Popen(common.DROP_SYS_TIME + [WINE_RUN, PROGRAM], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        failure = (common.FAILURE_TITLE, common.FAILURE_TEXT.replace("\n", "\\n"))
        deadline = time.monotonic() + 240
        seen = []
        while time.monotonic() < deadline and failure not in seen:
            time.sleep(1)
            seen = self.boxes()
        self.assertIn(failure, seen)
        self.assertEqual(set(seen), {failure}, "only failure boxes")

        closed = self.boxes(close=True)
        self.assertIn(failure, closed)

        requests = self.server.snapshot()
        self.assertGreaterEqual(len(requests), 1)
        self.assertEqual(requests[0]["method"], "HEAD")
        self.assertEqual(requests[0]["path"], "/")
        names = [name for name, _ in requests[0]["headers"]]
        positions = []
        for name, value in common.DEFAULT_HEADERS:
            self.assertIn(name, names, requests[0]["headers"])
            positions.append(names.index(name))
            self.assertEqual(requests[0]["headers"][names.index(name)][1], value)
        self.assertEqual(positions, sorted(positions), requests[0]["headers"])

        shortcut = os.path.join(self.home, "Desktop", common.SHORTCUT_NAME)
        self.assertTrue(os.path.isfile(shortcut), os.listdir(os.path.join(self.home, "Desktop")))
        with open(shortcut, "rb") as f:
            self.assertEqual(f.read(4), b"\x4c\x00\x00\x00", "a shell link file")
        # The shell hands the product page to the host's browser through xdg-open.
        self.assertTrue(os.path.exists(self.opened), "xdg-open was not called")
        with open(self.opened) as f:
            self.assertIn(common.PRODUCT_PAGE, f.read().splitlines())
        self.assertIsNone(self.program.poll(), "the program keeps running")


def main():
    global WINE_RUN, PROGRAM, BOX_READER
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    WINE_RUN, PROGRAM, BOX_READER = (os.path.abspath(a) for a in sys.argv[1:])
    if os.environ.get(common.INNER) != "1":
        probe = subprocess.run(["unshare", "--net", "--mount", "true"], capture_output=True, text=True)
        if probe.returncode != 0:
            print("SKIP: unshare --net --mount is not permitted here: " + probe.stderr.strip())
            return common.SKIP
        for tool in ("setpriv", "wine", "xvfb-run"):
            if shutil.which(tool) is None:
                print("SKIP: %s is missing" % tool)
                return common.SKIP
        env = dict(os.environ)
        env[common.INNER] = "1"
        command = [sys.executable, os.path.abspath(__file__), WINE_RUN, PROGRAM, BOX_READER]
        # A display of our own inside the namespaces, for the boxes.
        command = ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24"] + command
        return subprocess.run(["unshare", "--net", "--mount"] + command, env=env).returncode
    return common.run_tests_in_namespace()


if __name__ == "__main__":
    sys.exit(main())
