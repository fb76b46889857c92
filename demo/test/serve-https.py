#!/usr/bin/env python3
"""Serves a directory over HTTPS on 127.0.0.1 (or --address), for the demo page and its tests.

  serve-https.py --root DIR --cert CERT.pem --key KEY.pem [--address IP] [--port N] [--port-file FILE]

Port 0 (the default) takes a free port; --port-file receives the port once the
server listens, so a caller can wait for the file instead of guessing a port.
Stops on SIGTERM or SIGINT.
"""
import argparse
import functools
import http.server
import os
import signal
import ssl
import sys


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    # One line per request on stderr is all a test log needs.
    def log_message(self, format, *args):  # noqa: A002 (the base class names it so)
        sys.stderr.write("serve-https: %s %s\n" % (self.address_string(), format % args))

    def end_headers(self):
        # The page must never come from a cache when a test serves it again.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    args = parser.parse_args()

    handler = functools.partial(QuietHandler, directory=os.path.abspath(args.root))
    server = http.server.ThreadingHTTPServer((args.address, args.port), handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server.socket = context.wrap_socket(server.socket, server_side=True)

    def stop(_signum, _frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    port = server.server_address[1]
    if args.port_file:
        # Written whole and then renamed, so a reader never sees half a number.
        with open(args.port_file + ".tmp", "w") as out:
            out.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    sys.stderr.write("serve-https: serving %s on https://%s:%d/\n" % (args.root, args.address, port))
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
