#!/usr/bin/env python3
"""orvane-cli as a user meets it: exit codes and messages of failures, --json output parsed
back, and the progress output of stream and record on and off a terminal.

usage: cli_test.py ORVANE_CLI [unittest arguments, e.g. test class names]

Every test runs the tool with its own settings directory and shared-memory name, so the
CTest entries can run in parallel."""
import json
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None
HERE = os.path.dirname(os.path.abspath(__file__))
FAST = "--virtual=30f0:pace=fast"


class CliCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvane-cli-test-")
        os.makedirs(os.path.join(self.dir, "config"))
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("ORVANE_VIRTUAL_CAMERAS", "DISPLAY")}
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        self.env["HOME"] = self.dir
        self.env["ORVANE_SHM_NAME"] = "/orvane-cli-%d-%s" % (os.getpid(), self.id().split(".")[-1])

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def run_cli(self, *args, timeout=120):
        p = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True,
                           timeout=timeout)
        return p.returncode, p.stdout, p.stderr

    def path(self, name):
        return os.path.join(self.dir, name)


class ErrorTests(CliCase):
    def test_info_without_camera_says_so_and_fails(self):
        rc, out, err = self.run_cli("info")
        self.assertEqual(rc, 1, err)
        self.assertIn("no camera is attached", err)
        self.assertNotIn("sensor", out)  # no table of zeros

    def test_save_failure_names_file_and_os_reason(self):
        target = self.path("missing-dir/x.png")
        rc, out, err = self.run_cli(FAST, "snapshot", "--format", "png", "-o", target)
        self.assertEqual(rc, 1, err)
        self.assertIn("save image failed", err)
        self.assertIn("cannot write %s: No such file or directory" % target, err)
        self.assertNotIn("no error", err)
        self.assertFalse(os.path.exists(os.path.dirname(target)))

    def test_record_failure_names_file_and_reason(self):
        target = self.path("missing-dir/x.avi")
        rc, _, err = self.run_cli(FAST, "record", "-o", target, "--ms", "200")
        self.assertEqual(rc, 1, err)
        self.assertIn("record failed", err)
        self.assertIn("library error 12", err)
        self.assertIn("No such file or directory", err)

    def test_library_refusal_shows_code_and_text(self):
        rc, _, err = self.run_cli(FAST, "set", "gamma", "100000")
        self.assertEqual(rc, 1, err)
        self.assertIn("set gamma to 100000 failed", err)
        self.assertIn("library error 9 (invalid argument)", err)
        rc, _, err = self.run_cli(FAST, "snapshot", "--mode", "12", "-o", self.path("x.raw"))
        self.assertEqual(rc, 1, err)
        self.assertIn("set colour mode 12 failed: library error 9", err)

    def test_mask_load_of_missing_file(self):
        rc, _, err = self.run_cli(FAST, "mask", "load", self.path("none.msk"))
        self.assertEqual(rc, 1, err)
        self.assertIn("load mask failed", err)
        self.assertIn("library error 14", err)
        self.assertIn("cannot read", err)

    def test_unknown_setting_lists_names_not_usage(self):
        rc, out, err = self.run_cli(FAST, "get", "bogus")
        self.assertEqual(rc, 2)
        self.assertIn("unknown setting 'bogus'", err)
        for name in ("brightness", "gamma", "exposure", "maskfilter"):
            self.assertIn(name, err)
        self.assertNotIn("usage:", err + out)
        rc, _, err = self.run_cli(FAST, "set", "bogus", "1")
        self.assertEqual(rc, 2)
        self.assertIn("unknown setting 'bogus'", err)

    def test_usage_errors_exit_2_with_the_reason(self):
        cases = [
            (("frobnicate",), "unknown command 'frobnicate'"),
            ((), "no command given"),
            (("--device", "x", "info"), "--device needs a camera number"),
            (("--bogus", "list"), "unknown option '--bogus'"),
            ((FAST, "snapshot"), "snapshot needs -o FILE"),
            ((FAST, "record", "--ms", "100"), "record needs -o FILE.avi"),
            ((FAST, "snapshot", "-o", "x", "--format", "gif"), "unknown format 'gif'"),
            ((FAST, "snapshot", "-o"), "-o needs a value"),
            ((FAST, "stream", "--seconds", "soon"), "--seconds needs a positive number"),
            ((FAST, "set", "gamma", "abc"), "value 'abc' is not a number"),
            ((FAST, "get"), "get needs NAME"),
            ((FAST, "list", "--xml"), "unknown argument '--xml'"),
            ((FAST, "mask", "update", "grey"), "mask update takes dark or bright"),
        ]
        for args, words in cases:
            with self.subTest(args=args):
                rc, out, err = self.run_cli(*args)
                self.assertEqual(rc, 2, err)
                self.assertIn(words, err)
                self.assertIn("--help", err)
                self.assertEqual(out, "")

    def test_camera_number_out_of_range(self):
        rc, _, err = self.run_cli(FAST, "--device", "3", "info")
        self.assertEqual(rc, 1, err)
        self.assertIn("open camera 3 failed", err)
        self.assertIn("library error 2", err)
        self.assertIn("1 camera(s) attached", err)

    def test_buffer_snapshot_writes_the_whole_frame(self):
        target = self.path("frame.raw")
        rc, out, err = self.run_cli(FAST, "snapshot", "--mode", "8", "--format", "buffer",
                                    "-o", target)
        self.assertEqual(rc, 0, err)
        self.assertEqual(os.path.getsize(target), 3072 * 2048)
        rc, _, err = self.run_cli(FAST, "snapshot", "--format", "buffer", "-o", self.dir)
        self.assertEqual(rc, 1, err)
        self.assertIn("write the frame failed: cannot write %s: Is a directory" % self.dir, err)

    def test_help_succeeds(self):
        rc, out, _ = self.run_cli("--help")
        self.assertEqual(rc, 0)
        self.assertIn("usage: orvane-cli", out)


class JsonTests(CliCase):
    def test_list_json(self):
        rc, out, err = self.run_cli("--virtual=30f0:pace=fast,30f0:pace=fast", "list", "--json")
        self.assertEqual(rc, 0, err)
        doc = json.loads(out)
        self.assertEqual([c["index"] for c in doc["cameras"]], [0, 1])
        self.assertTrue(all(c["name"].startswith("OrvaneA06-USB3-Q7_") for c in doc["cameras"]))
        self.assertEqual(doc["blocked"], [])

    def test_list_json_without_cameras(self):
        rc, out, err = self.run_cli("list", "--json")
        self.assertEqual(rc, 0, err)
        self.assertEqual(json.loads(out)["cameras"], [])

    def test_info_json_matches_settings(self):
        rc, _, err = self.run_cli(FAST, "set", "gamma", "120")
        self.assertEqual(rc, 0, err)
        rc, out, err = self.run_cli(FAST, "info", "--json")
        self.assertEqual(rc, 0, err)
        doc = json.loads(out)
        self.assertEqual(doc["camera"], "OrvaneA06-USB3-Q7_01")
        self.assertEqual((doc["sensor"]["width"], doc["sensor"]["height"]), (3072, 2048))
        self.assertEqual((doc["limits"]["globalGainMin"], doc["limits"]["globalGainMax"]),
                         (0, 511))
        self.assertEqual(doc["limits"]["exposureMax"], 30000)
        self.assertEqual(doc["colorMode"], 24)
        self.assertEqual(doc["settings"]["gamma"], 120)  # kept in the settings file
        self.assertIsInstance(doc["mirror"]["horizontal"], bool)
        rc, out, _ = self.run_cli(FAST, "get", "gamma")
        self.assertEqual(out.strip(), "120")


def read_pty(cmd, env, timeout=120):
    """Runs CMD with its stdout on a pseudo-terminal; returns exit code and everything read."""
    master, slave = pty.openpty()
    p = subprocess.Popen(cmd, env=env, stdout=slave, stderr=subprocess.PIPE)
    os.close(slave)
    chunks = []
    while True:
        try:
            data = os.read(master, 4096)
        except OSError:  # EIO once the tool has exited and closed its side
            break
        if not data:
            break
        chunks.append(data)
    os.close(master)
    err = p.stderr.read().decode()
    p.stderr.close()
    p.wait(timeout=timeout)
    return p.returncode, b"".join(chunks).decode() + err


class StatusLineTests(CliCase):
    def assert_plain(self, out):
        self.assertNotIn("\r", out)
        self.assertNotIn("\x1b", out)

    def test_stream_plain_lines_off_terminal(self):
        rc, out, err = self.run_cli(FAST, "stream", "--mode", "8", "--seconds", "2.5")
        self.assertEqual(rc, 0, err)
        self.assert_plain(out)
        progress = [l for l in out.splitlines() if re.match(r"frames [0-9]+  rate", l)]
        self.assertGreaterEqual(len(progress), 1)
        for line in progress:
            for word in ("rate", "fps", "dropped", "elapsed"):
                self.assertIn(word, line)
        self.assertIn("frames received:", out)

    def test_record_plain_lines_off_terminal(self):
        target = self.path("r.avi")
        rc, out, err = self.run_cli(FAST, "record", "--mode", "8", "-o", target, "--ms", "1500")
        self.assertEqual(rc, 0, err)
        self.assert_plain(out)
        self.assertRegex(out, r"r\.avi: [1-9][0-9]* frames, 1500 ms")
        with open(target, "rb") as f:
            self.assertEqual(f.read(4), b"RIFF")

    def test_stream_live_line_on_terminal(self):
        rc, out = read_pty([CLI, FAST, "stream", "--mode", "8", "--seconds", "2"], self.env)
        self.assertEqual(rc, 0, out)
        self.assertIn("\rframes ", out)
        self.assertIn("\x1b[K", out)
        self.assertIn("frames received:", out)


class BlockedNodeTests(CliCase):
    """A camera whose USB device node the user may not open: umockdev shows an emulated
    04b4:30f0 device, whose node is made unreadable for the user the tool runs as."""

    def test_list_names_node_and_fix(self):
        umockdev = shutil.which("umockdev-run")
        if umockdev is None:
            self.skipTest("umockdev-run not installed")
        drop = []
        cli = CLI
        env = dict(self.env, ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0")
        if os.geteuid() == 0:
            # Root opens any node: run the tool as an ordinary user, from a copy that user
            # can reach (the build folder may sit in root's home).
            if shutil.which("setpriv") is None:
                self.skipTest("setpriv not installed")
            drop = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
            os.chmod(self.dir, 0o755)
            os.chmod(self.env["XDG_CONFIG_HOME"], 0o777)
            bin_dir = self.path("bin")
            os.mkdir(bin_dir)
            cli = shutil.copy(CLI, bin_dir)
            library = os.environ["ORVANE_TEST_LIBRARY"]
            shutil.copy(library, os.path.join(bin_dir, os.path.basename(library)))
            env["LD_LIBRARY_PATH"] = bin_dir
        # The tool's side must reach the testbed and its ioctl socket; only the node is closed.
        script = ('chmod 755 "$UMOCKDEV_DIR"; chmod 777 "$UMOCKDEV_DIR"/ioctl/_default; '
                  'chmod 600 "$UMOCKDEV_DIR"/dev/bus/usb/001/002; exec "$@"')
        for extra in (["list"], ["list", "--json"], ["info"]):
            cmd = [umockdev, "-d", os.path.join(HERE, "camera-30f0.umockdev"), "--",
                   "sh", "-c", script, "sh", *drop, cli, *extra]
            p = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=120)
            self.assertEqual(p.returncode, 1, p.stderr)
            self.assertIn("04b4:30f0 at /dev/bus/usb/001/002 cannot be opened: Permission denied",
                          p.stderr)
            self.assertIn("60-orvane-camera.rules", p.stderr)
            self.assertIn("scripts/orvane install-udev", p.stderr)
            if extra[0] == "info":
                self.assertIn("open the camera failed", p.stderr)
                self.assertEqual(p.stdout, "")
            if "--json" in extra:
                blocked = json.loads(p.stdout)["blocked"]
                self.assertEqual(blocked, [{"node": "/dev/bus/usb/001/002", "id": "04b4:30f0",
                                            "reason": "Permission denied"}])


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0], *sys.argv[2:]], verbosity=2)
