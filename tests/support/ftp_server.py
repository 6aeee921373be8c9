#!/usr/bin/python3
"""FTP server for the crash upload tests: pyftpdlib on 127.0.0.1.

Listens on an ephemeral port and, once it accepts connections, writes the
port number to --port-file (through a temporary name, so a reader never sees
half of it). One user with full rights on the served folder; a refused login
is answered at once (pyftpdlib waits 3 s by default). It ends by itself when
its parent --parent-pid is gone or after --max-seconds.

  --cut-after K      the first upload's data connection is cut once K bytes
                     of it reached the file
  --stall-after K    the first upload's data connection is no longer read
                     once K bytes of it reached the file
  --size-error CODE  SIZE is answered with this error code (e.g. 550, 502)
  --refuse-stor N    the first N STOR commands are refused (452)
  --keep-only K      the first upload ends as complete (226), but only its
                     first K bytes stay in the file
"""
import argparse
import os
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--cut-after", type=int, default=-1)
    parser.add_argument("--stall-after", type=int, default=-1)
    parser.add_argument("--size-error", type=int, default=0)
    parser.add_argument("--refuse-stor", type=int, default=0)
    parser.add_argument("--keep-only", type=int, default=-1)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--parent-pid", type=int, required=True)
    parser.add_argument("--max-seconds", type=float, default=300)
    args = parser.parse_args()

    class TestDTP(DTPHandler):
        # The first upload meets the cut or the stall; later ones go through.
        armed = args.cut_after >= 0 or args.stall_after >= 0
        limit = args.cut_after if args.cut_after >= 0 else args.stall_after

        def handle_read(self):
            if not TestDTP.armed or not self.receive:
                return DTPHandler.handle_read(self)
            try:
                chunk = self.recv(self.ac_in_buffer_size)
            except OSError:
                return self.handle_error()
            room = TestDTP.limit - self.tot_bytes_received
            if not chunk or len(chunk) < room:
                self.tot_bytes_received += len(chunk)
                if not chunk:
                    self.transfer_finished = True
                    return
                self.file_obj.write(chunk)
                return
            self.file_obj.write(chunk[:room])
            self.tot_bytes_received += room
            TestDTP.armed = False
            if args.cut_after >= 0:
                self._resp = ("426 Connection cut by the test server.", lambda *a, **k: None)
                self.close()
            else:
                # Read no more: the client's sends block until it gives up.
                self.file_obj.flush()
                self.del_channel()

        handle_read_event = handle_read  # the base class binds its own

    class Handler(FTPHandler):
        auth_failed_timeout = 0
        dtp_handler = TestDTP

        refuse_stor = args.refuse_stor
        keep_only = args.keep_only

        def on_file_received(self, file):
            if Handler.keep_only >= 0:
                os.truncate(file, Handler.keep_only)
                Handler.keep_only = -1

        def ftp_STOR(self, file, mode="w"):
            if mode == "w" and Handler.refuse_stor > 0:
                Handler.refuse_stor -= 1
                self.respond("452 STOR refused by the test server.")
                return
            return FTPHandler.ftp_STOR(self, file, mode)

        def ftp_SIZE(self, path):
            if args.size_error:
                self.respond("%d SIZE refused by the test server." % args.size_error)
                return
            return FTPHandler.ftp_SIZE(self, path)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.dir, perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    started = time.monotonic()

    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.address[1])
    os.rename(args.port_file + ".tmp", args.port_file)
    # Polled, so that the server notices when it is no longer wanted: it was
    # started by the test process, and once that is gone we are reparented.
    try:
        while os.getppid() == args.parent_pid and time.monotonic() - started < args.max_seconds:
            server.ioloop.loop(timeout=0.2, blocking=False)
    except (KeyboardInterrupt, SystemExit):
        pass
    server.close_all()


if __name__ == "__main__":
    sys.exit(main())
