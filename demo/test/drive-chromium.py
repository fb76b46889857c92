#!/usr/bin/env python3
"""Opens a page in headless Chromium and prints the outcome the page reports.

  drive-chromium.py --url URL --profile DIR [--map HOST ...] [--spki HASH ...]
                    [--public-origin HOST:PORT] [--grant-local-network] [--timeout S]

Chromium is driven over the DevTools protocol on a pipe (--remote-debugging-
pipe), so no debugging port is opened. The page writes its outcome into the
element #outcome and sets data-state="done" on it; this script waits for that,
prints the outcome text and the page's own request log, and exits 0. It exits
1 when the page reports nothing within the time limit or Chromium fails.

--map HOST[=ADDRESS]   resolve HOST to 127.0.0.1 (or ADDRESS) inside Chromium only
--spki HASH            trust certificates with this SPKI hash (base64 SHA-256)
--public-origin H:P    treat the server at 127.0.0.1:P as a public address, as a
                       bank's real web server is, so Local Network Access
                       applies to the page's connections to 127.0.0.1
--grant-local-network  grant the page's origin the Local Network Access
                       permissions, as a customer who clicks "Allow" does
--screenshot FILE      save a PNG of the page once it reported
"""
import argparse
import base64
import json
import os
import signal
import subprocess
import sys
import time
import urllib.parse


class CDevTools:
    """The DevTools protocol over the pipe pair: JSON messages ended by NUL."""

    def __init__(self, to_browser, from_browser):
        self._out = to_browser
        self._in = from_browser
        self._next_id = 0
        self._buffer = b""
        self.events = []

    def Call(self, method, params=None, session=None, timeout=30.0):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._out, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._Read(deadline)
            if reply.get("id") == self._next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"].get("message")))
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def _Read(self, deadline):
        while b"\0" not in self._buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("no answer from Chromium")
            chunk = os.read(self._in, 65536)
            if not chunk:
                raise RuntimeError("Chromium closed the DevTools pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)


def LaunchChromium(args):
    # fd 3 carries commands to Chromium, fd 4 its answers.
    cmd_read, cmd_write = os.pipe()
    ans_read, ans_write = os.pipe()
    flags = [
        args.chromium,
        "--headless",
        "--remote-debugging-pipe",
        "--user-data-dir=" + args.profile,
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--disable-extensions",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--metrics-recording-only",
        "--password-store=basic",
        "--use-mock-keychain",
    ]
    if os.geteuid() == 0:
        # Chromium's sandbox refuses to run as root; CI runs as root.
        flags.append("--no-sandbox")
    if args.map:
        flags.append("--host-resolver-rules=" +
                     ",".join("MAP %s %s" % (tuple(host.split("=", 1)) if "=" in host
                                              else (host, "127.0.0.1")) for host in args.map))
    if args.spki:
        flags.append("--ignore-certificate-errors-spki-list=" + ",".join(args.spki))
    if args.public_origin:
        flags.append("--ip-address-space-overrides=127.0.0.1:%s=public" %
                     args.public_origin.rsplit(":", 1)[1])
    flags.append("about:blank")

    def child_fds():
        # Moved out of the way first: either end may itself be fd 3 or 4.
        read_end, write_end = os.dup(cmd_read), os.dup(ans_write)
        os.dup2(read_end, 3)
        os.dup2(write_end, 4)

    log = open(os.path.join(args.profile, "chromium.log"), "ab")
    # close_fds would close 3 and 4 after child_fds has made them; the pipe
    # ends themselves are not inheritable, so nothing else leaks.
    process = subprocess.Popen(flags, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                               close_fds=False, preexec_fn=child_fds, start_new_session=True)
    os.close(cmd_read)
    os.close(ans_write)
    return process, CDevTools(cmd_write, ans_read)


def GrantLocalNetwork(devtools, url):
    origin = "{0.scheme}://{0.netloc}".format(urllib.parse.urlsplit(url))
    granted = []
    # Chromium has named the permission differently over time; grant each
    # name this version knows.
    for name in ("local-network-access", "local-network", "loopback-network"):
        try:
            devtools.Call("Browser.setPermission", {
                "permission": {"name": name}, "setting": "granted", "origin": origin})
            granted.append(name)
        except RuntimeError:
            pass
    print("granted to %s: %s" % (origin, ", ".join(granted) or "nothing"))


def WaitForOutcome(devtools, session, timeout):
    script = ("(() => { const e = document.getElementById('outcome');"
              " return e && e.dataset.state === 'done' ? JSON.stringify({"
              " outcome: e.textContent, log: (document.getElementById('log') || {}).textContent"
              " }) : ''; })()")
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = devtools.Call("Runtime.evaluate", {"expression": script, "returnByValue": True},
                               session=session)
        value = result.get("result", {}).get("value")
        if value:
            return json.loads(value)
        time.sleep(0.2)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("--url", required=True)
    parser.add_argument("--profile", required=True)
    parser.add_argument("--map", action="append", default=[])
    parser.add_argument("--spki", action="append", default=[])
    parser.add_argument("--public-origin")
    parser.add_argument("--grant-local-network", action="store_true")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    os.makedirs(args.profile, exist_ok=True)

    process, devtools = LaunchChromium(args)
    try:
        print("chromium: %s" % devtools.Call("Browser.getVersion")["product"])
        if args.grant_local_network:
            GrantLocalNetwork(devtools, args.url)
        target = devtools.Call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = devtools.Call("Target.attachToTarget",
                                {"targetId": target, "flatten": True})["sessionId"]
        devtools.Call("Page.enable", session=session)
        devtools.Call("Page.navigate", {"url": args.url}, session=session)
        print("page: %s" % args.url)
        outcome = WaitForOutcome(devtools, session, args.timeout)
        if outcome is None:
            print("page reported no outcome within %g s" % args.timeout)
            return 1
        print("page log:")
        for line in (outcome["log"] or "").splitlines():
            print("  " + line)
        print("outcome: %s" % outcome["outcome"])
        if args.screenshot:
            devtools.Call("Emulation.setDeviceMetricsOverride", {
                "width": 1280, "height": 1000, "deviceScaleFactor": 1, "mobile": False},
                session=session)
            shot = devtools.Call("Page.captureScreenshot", {"format": "png"}, session=session)
            with open(args.screenshot, "wb") as out:
                out.write(base64.b64decode(shot["data"]))
        return 0
    except (RuntimeError, TimeoutError, OSError) as error:
        print("drive-chromium: %s" % error)
        return 1
    finally:
        try:
            devtools.Call("Browser.close", timeout=10)
        except (RuntimeError, TimeoutError, OSError):
            pass
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            # Its helper processes share its session: end them all.
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


if __name__ == "__main__":
    sys.exit(main())
