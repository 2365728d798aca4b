#!/usr/bin/env python3
"""Black-box tests of the built Linux program.

The program runs inside private network and mount namespaces: the time
server's host name is mapped to 127.0.0.1 by a bind-mounted /etc/hosts, and a
server of this script answers on 127.0.0.1:80. The right to set the clock is
dropped from the program (and checked), so the machine's clock never moves;
where a calibration must succeed, a preloaded recorder takes the clock_settime
call and reports it as done. The program never ends by itself: every scenario
kills it.

Usage: blackbox_test.py <tavrel-clock> <clock recorder .so>
Exit status 77 (a skip for CTest) when the namespaces cannot be made.
"""

import calendar
import http.server
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SKIP = 77
INNER = "TAVREL_BLACKBOX_INNER"
CAP_SYS_TIME = 25
DROP_SYS_TIME = ["setpriv", "--bounding-set", "-sys_time", "--inh-caps", "-sys_time"]

PROGRAM = ""
RECORDER = ""

SUCCESS_TITLE = "Tavrel校时v1.2 - 校时成功"
SUCCESS_TEXT = (
    "\n\n校对北京时间成功！\n\n\n本软件为北京时间自动校对工具，暂无自动启动功能，"
    "仅需每次开机后双击打开软件即可，专治各种跳时区、变时间！\n\n本软件未设计自动更新功能，"
    "如需使用新版本，请在浏览器中输入地址：www.tavrel.com，手动进入官网下载。\n\n"
    "Tavrel科技 TAVREL\n官方交流群：614082379\n官方网站：http://www.tavrel.com/")
FAILURE_TITLE = "Tavrel校时v1.2 - 错误"
FAILURE_TEXT = "\n\n校对时间失败：请检查网络后请重试！\n\n\nTavrel科技 www.tavrel.com"
SUCCESS_BOX = SUCCESS_TITLE + "\n" + SUCCESS_TEXT + "\n"
FAILURE_BOX = FAILURE_TITLE + "\n" + FAILURE_TEXT + "\n"

DEFAULT_HEADERS = [
    ("Accept", "*/*"),
    ("Referer", "http://www.baidu.com/"),
    ("Accept-Language", "zh-cn"),
    ("User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"),
]
SHORTCUT_NAME = "Tavrel校时v1.2.lnk"
PRODUCT_PAGE = "http://www.tavrel.com/jiaoshi/"


class TimeServer:
    """HTTP on 127.0.0.1:80; answers every request with the scripted Date
    header (or none) and writes down each request with its arrival time."""

    def __init__(self, date_header):
        self.date_header = date_header
        self.requests = []
        self.lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def handle_one_request_as(self):
                with server.lock:
                    server.requests.append({
                        "at": time.monotonic(),
                        "method": self.command,
                        "path": self.path,
                        "headers": list(self.headers.items()),
                    })
                # send_response would add a Date of its own: only ours may be there.
                self.send_response_only(200)
                if server.date_header is not None:
                    self.send_header("Date", server.date_header)
                self.send_header("Content-Length", "0")
                self.send_header("Connection", "close")
                self.end_headers()

            do_HEAD = handle_one_request_as
            do_GET = handle_one_request_as

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 80), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def snapshot(self):
        with self.lock:
            return list(self.requests)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Program:
    """tavrel-clock without the right to set the time, in a throw-away home,
    with a fake xdg-open first on PATH; standard output is collected."""

    def __init__(self, work, record_clock):
        self.work = work
        self.home = os.path.join(work, "home")
        os.makedirs(os.path.join(self.home, "Desktop"))
        bin_dir = os.path.join(work, "bin")
        os.makedirs(bin_dir)
        self.opened = os.path.join(work, "xdg-open.log")
        fake = os.path.join(bin_dir, "xdg-open")
        with open(fake, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$*" >> "' + self.opened + '"\n')
        os.chmod(fake, 0o755)
        self.record = os.path.join(work, "clock.log")

        # A zone whose local hour is about noon now: no midnight during a run.
        self.utc_offset_hours = 12 - time.gmtime().tm_hour
        env = {
            "HOME": self.home,
            "PATH": bin_dir + ":/usr/bin:/bin",
            "TZ": "TAV%+d" % (-self.utc_offset_hours),
            "LANG": "C.UTF-8",
        }
        if record_clock:
            env["LD_PRELOAD"] = RECORDER
            env["TAVREL_CLOCK_RECORD"] = self.record
        self.started = time.monotonic()
        self.process = subprocess.Popen(DROP_SYS_TIME + [PROGRAM], env=env, cwd=work,
                                        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.output = b""
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while True:
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return
            with self.lock:
                self.output += chunk

    def text(self):
        with self.lock:
            return self.output.decode("utf-8", errors="replace")

    def is_running_the_program(self):
        try:
            return os.readlink("/proc/%d/exe" % self.process.pid) == os.path.realpath(PROGRAM)
        except OSError:
            return False

    def effective_capabilities(self):
        try:
            with open("/proc/%d/status" % self.process.pid) as f:
                for line in f:
                    if line.startswith("CapEff:"):
                        return int(line.split()[1], 16)
        except OSError:
            pass
        return None

    def wait_for(self, condition, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if condition():
                return True
            if self.process.poll() is not None:
                return condition()
            time.sleep(0.05)
        return condition()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.reader.join(5)
        self.process.stdout.close()

    def clock_calls(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record) as f:
            return f.read().splitlines()


class BlackBoxTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrel-blackbox-")
        self.server = None
        self.program = None

    def tearDown(self):
        if self.program:
            self.program.kill()
        if self.server:
            self.server.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, date_header, record_clock):
        self.server = TimeServer(date_header)
        self.program = Program(self.work, record_clock)
        # setpriv runs first with every right; look once it has become the program.
        self.assertTrue(self.program.wait_for(self.program.is_running_the_program, 5),
                        "the program did not start")
        caps = self.program.effective_capabilities()
        self.assertIsNotNone(caps, "the program ended at once")
        if caps & (1 << CAP_SYS_TIME):
            self.program.kill()
            self.fail("the program could set the clock: refusing to go on")

    def assert_default_request(self, request):
        self.assertEqual(request["method"], "HEAD")
        self.assertEqual(request["path"], "/")
        names = [name for name, _ in request["headers"]]
        positions = []
        for name, value in DEFAULT_HEADERS:
            self.assertIn(name, names, request["headers"])
            positions.append(names.index(name))
            self.assertEqual(request["headers"][names.index(name)][1], value)
        self.assertEqual(positions, sorted(positions), "headers out of order: %r" % request["headers"])

    def test_success_sets_the_clock_once_and_says_so(self):
        self.start("Tue, 15 Nov 1994 08:12:31 GMT", record_clock=True)
        program = self.program
        self.assertTrue(program.wait_for(lambda: SUCCESS_TITLE in program.text(), 20), program.text())
        # One more tick: the hour read after setting is recorded, nothing more is due.
        time.sleep(max(0.0, program.started + 11.0 - time.monotonic()))
        output = program.text()
        program.kill()

        self.assertEqual(output, SUCCESS_BOX)
        requests = self.server.snapshot()
        self.assertEqual(len(requests), 1, requests)
        self.assert_default_request(requests[0])

        # Beijing time is GMT + 8, set as the local wall-clock time of the zone.
        beijing = calendar.timegm((1994, 11, 15, 16, 12, 31, 0, 0, 0))
        expected = beijing - program.utc_offset_hours * 3600
        self.assertEqual(program.clock_calls(), ["clock_settime 0 %d 0" % expected])

        with open(program.opened) as f:
            self.assertEqual(f.read().splitlines(), [PRODUCT_PAGE])
        shortcut = os.path.join(program.home, "Desktop", SHORTCUT_NAME)
        self.assertTrue(os.path.isfile(shortcut), os.listdir(os.path.join(program.home, "Desktop")))
        with open(shortcut, encoding="utf-8") as f:
            entry = f.read()
        self.assertIn("[Desktop Entry]", entry)
        self.assertRegex(entry, r"(?m)^Exec=.*" + re.escape(os.path.realpath(PROGRAM)))
        self.assertIn("Tavrel科技", entry)

    def test_refused_clock_fails_and_retries_every_tick(self):
        now = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime())
        self.start(now, record_clock=False)
        program = self.program
        self.assertTrue(program.wait_for(lambda: program.text().count(FAILURE_TITLE) >= 2, 30),
                        program.text())
        output = program.text()
        requests = self.server.snapshot()
        program.kill()

        boxes = output.count(FAILURE_TITLE)
        self.assertEqual(output, FAILURE_BOX * boxes)
        self.assertGreaterEqual(len(requests), 2)
        for request in requests:
            self.assert_default_request(request)
        gap = requests[1]["at"] - requests[0]["at"]
        self.assertGreater(gap, 8.5)
        self.assertLess(gap, 15.0)

    def test_answer_without_date_fails_without_touching_the_clock(self):
        self.start(None, record_clock=True)
        program = self.program
        self.assertTrue(program.wait_for(lambda: FAILURE_TITLE in program.text(), 20), program.text())
        output = program.text()
        program.kill()

        self.assertEqual(output, FAILURE_BOX)
        self.assertEqual(program.clock_calls(), [], "a date in the year 100 is refused before the system call")
        self.assertEqual(len(self.server.snapshot()), 1)


def enter_namespaces():
    """Re-runs this script inside private network and mount namespaces."""
    probe = subprocess.run(["unshare", "--net", "--mount", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        print("SKIP: unshare --net --mount is not permitted here: " + probe.stderr.strip())
        return SKIP
    if shutil.which("setpriv") is None:
        print("SKIP: setpriv is missing; the right to set the time cannot be dropped")
        return SKIP
    env = dict(os.environ)
    env[INNER] = "1"
    return subprocess.run(["unshare", "--net", "--mount", sys.executable, os.path.abspath(__file__),
                           PROGRAM, RECORDER], env=env).returncode


def prepare_namespace():
    """Inside the namespaces: loopback up, the time server's name on it."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    hosts = tempfile.NamedTemporaryFile("w", prefix="tavrel-hosts-", delete=False)
    hosts.write("127.0.0.1 localhost www.baidu.com\n")
    hosts.close()
    subprocess.run(["mount", "--make-rprivate", "/"], check=True)
    subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)
    return hosts.name


def run_tests_in_namespace():
    """Inside the namespaces: the tests of the running script, then clean up."""
    hosts = prepare_namespace()
    try:
        result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    finally:
        os.unlink(hosts)
    return 0 if result.wasSuccessful() else 1


def main():
    global PROGRAM, RECORDER
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    PROGRAM, RECORDER = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if os.environ.get(INNER) != "1":
        return enter_namespaces()
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    return run_tests_in_namespace()


if __name__ == "__main__":
    sys.exit(main())
