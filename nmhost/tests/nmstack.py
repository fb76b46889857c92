"""What the native messaging host's tests share: the simulated device stack
(scripts/stack) and brixonnm driven over its pipe as a browser drives it."""
import json
import os
import queue
import shutil
import struct
import subprocess
import tempfile
import threading
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
PATIENCE = 20.0  # seconds any single step may take before the test fails


class Stack:
    """qvxsim and a private pcscd in a fresh directory, down with the object."""

    def __init__(self, build):
        self.build = build
        self.dir = tempfile.mkdtemp(prefix="qvx-nm.", dir="/tmp")
        subprocess.run([os.path.join(ROOT, "scripts/stack"), "up", self.dir, "--build", build,
                        "--watch", str(os.getpid())], check=True, stdout=subprocess.DEVNULL)
        self.env = dict(os.environ)
        with open(os.path.join(self.dir, "env")) as env:
            for line in env:
                name, _, value = line.strip().removeprefix("export ").partition("=")
                self.env[name] = value
        self.Control("customer approve 50")

    def Down(self, keep=False):
        subprocess.run([os.path.join(ROOT, "scripts/stack"), "down", self.dir],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if keep:
            print("logs kept in %s" % self.dir)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)

    def Control(self, command):
        out = subprocess.run([os.path.join(self.build, "simulator/qvxsim"), "ctl",
                              self.env["QVXSIM_CONTROL"]] + command.split(),
                             check=True, capture_output=True, text=True, timeout=PATIENCE)
        return out.stdout

    def Waiting(self):
        return "waiting=yes" in self.Control("state")

    def Eventually(self, condition, what):
        deadline = time.monotonic() + PATIENCE
        while not condition():
            if time.monotonic() > deadline:
                raise AssertionError("never happened: " + what)
            time.sleep(0.05)

    def Log(self):
        try:
            with open(os.path.join(self.dir, "BRIXWSSVR/Brixwssvr_Log.txt"), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""


class Host:
    """brixonnm with its pipe, as the browser starts it. `argv` follows the
    caller's origin (Windows: --parent-window=N); `launcher` goes before the
    program (wine)."""

    def __init__(self, path, env, caller="chrome-extension://test/", argv=(), launcher=(),
                 patience=PATIENCE):
        self.patience = patience
        self.process = subprocess.Popen(list(launcher) + [path, caller] + list(argv),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
        self.replies = queue.Queue()
        self.reader = threading.Thread(target=self._Read, daemon=True)
        self.reader.start()
        ready = self.Reply()
        if not ready or "Ready" not in ready:
            raise AssertionError("brixonnm did not say it is ready: %r" % ready)

    def _Read(self):
        out = self.process.stdout
        while True:
            head = out.read(4)
            if len(head) < 4:
                self.replies.put(None)
                return
            (length,) = struct.unpack("=I", head)
            self.replies.put(json.loads(out.read(length).decode("utf-8")))

    def SendRaw(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def Send(self, message):
        body = json.dumps(message).encode("utf-8")
        self.SendRaw(struct.pack("=I", len(body)) + body)

    def Reply(self):
        try:
            return self.replies.get(timeout=self.patience)
        except queue.Empty:
            raise AssertionError("no reply from brixonnm within %g s" % self.patience)

    def Request(self, message):
        self.Send(message)
        return self.Reply()

    def Close(self):
        """Closes the pipe as a browser does; the exit code."""
        self.process.stdin.close()
        try:
            return self.process.wait(timeout=self.patience)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("brixonnm did not end after its input closed")

    def Kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
