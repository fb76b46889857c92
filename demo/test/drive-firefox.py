#!/usr/bin/env python3
"""Opens a page in headless Firefox and prints the outcome the page reports.

  drive-firefox.py --url URL --profile DIR [--firefox PATH] [--timeout S]

The counterpart of drive-chromium.py for Firefox: Firefox is driven over its
Marionette protocol (length-prefixed JSON on a loopback port that only this
script knows). The profile folder is used as it is (a fresh one is made when
missing); no certificate is trusted or error ignored beyond what it and the
machine's policies say. Prints the outcome and the page's own log and exits
0 when the page reported within the time limit, 1 when not.
"""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import time


class CMarionette:
    def __init__(self, port, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise TimeoutError("Marionette does not answer on port %d" % port)
                time.sleep(0.2)
        self.sock.settimeout(timeout)
        self.buffer = b""
        self.next_id = 0
        hello = self.Read()
        if hello.get("marionetteProtocol") != 3:
            raise RuntimeError("unexpected Marionette greeting: %r" % hello)

    def Read(self):
        while b":" not in self.buffer:
            self.Fill()
        length, _, rest = self.buffer.partition(b":")
        self.buffer = rest
        while len(self.buffer) < int(length):
            self.Fill()
        body, self.buffer = self.buffer[:int(length)], self.buffer[int(length):]
        return json.loads(body)

    def Fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise RuntimeError("Marionette closed the connection")
        self.buffer += chunk

    def Call(self, command, params=None):
        self.next_id += 1
        body = json.dumps([0, self.next_id, command, params or {}]).encode()
        self.sock.sendall(str(len(body)).encode() + b":" + body)
        while True:
            kind, msg_id, error, result = self.Read()
            if kind == 1 and msg_id == self.next_id:
                if error:
                    raise RuntimeError("%s: %s" % (command, error.get("message", error)))
                return result


def FreePort():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--firefox", default="/usr/bin/firefox-esr")
    parser.add_argument("--url", required=True)
    parser.add_argument("--profile", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()
    os.makedirs(args.profile, exist_ok=True)
    port = FreePort()
    with open(os.path.join(args.profile, "user.js"), "a") as prefs:
        for name, value in (("marionette.port", port), ("browser.shell.checkDefaultBrowser", False),
                            ("datareporting.policy.dataSubmissionEnabled", False),
                            ("browser.aboutwelcome.enabled", False)):
            prefs.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))

    log = open(os.path.join(args.profile, "firefox.log"), "ab")
    process = subprocess.Popen(
        [args.firefox, "--headless", "--marionette", "--no-remote", "--profile", args.profile,
         "about:blank"], stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    try:
        marionette = CMarionette(port, args.timeout)
        caps = marionette.Call("WebDriver:NewSession", {"capabilities": {}})
        print("firefox: %s %s" % (caps.get("capabilities", {}).get("browserName"),
                                  caps.get("capabilities", {}).get("browserVersion")))
        marionette.Call("WebDriver:Navigate", {"url": args.url})
        print("page: %s" % args.url)
        script = ("const e = document.getElementById('outcome');"
                  " return e && e.dataset.state === 'done' ? {outcome: e.textContent,"
                  " log: (document.getElementById('log') || {}).textContent} : null;")
        deadline = time.monotonic() + args.timeout
        outcome = None
        while time.monotonic() < deadline and outcome is None:
            outcome = marionette.Call("WebDriver:ExecuteScript",
                                      {"script": script, "args": []}).get("value")
            if outcome is None:
                time.sleep(0.2)
        if outcome is None:
            print("page reported no outcome within %g s" % args.timeout)
            return 1
        print("page log:")
        for line in (outcome.get("log") or "").splitlines():
            print("  " + line)
        print("outcome: %s" % outcome.get("outcome"))
        return 0
    except (RuntimeError, TimeoutError, OSError) as error:
        print("drive-firefox: %s" % error)
        return 1
    finally:
        try:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=20)
        except (subprocess.TimeoutExpired, ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


if __name__ == "__main__":
    sys.exit(main())
