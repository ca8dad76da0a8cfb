#!/usr/bin/python3
"""brenvo-ftpd: the FTP server of Brenvo's demo and upload tests (pyftpdlib).

    /usr/bin/python3 tools/brenvo-ftpd/brenvo-ftpd.py --root DIR --port N \
        --user U --password P [--fault F] [--verbose] [--exit-on-stdin-eof] \
        [--certificate PEM --key PEM [--tls-required]] [--record DIR]

Binds 127.0.0.1 only. Port 0 picks a free port. When it listens it prints
exactly one line "PORT <n>" on stdout (flushed); logs go to stderr.
The user has full permissions ("elradfmwMT") in DIR, which is its home
and the FTP root.

With --certificate and --key it offers explicit TLS (AUTH TLS, then PBSZ 0
and PROT P for protected data connections, pyftpdlib's TLS handler); with
--tls-required too, USER and PASS are refused (550) before AUTH TLS, and
PASV, EPSV, PORT and EPRT before PROT P. The faults work the same over TLS.

With --record DIR every connection, control and data, passes through a
loopback relay that copies its bytes as they travel (under TLS, the
ciphertext) into DIR, a file per connection and direction: NNNN-in from the
client, NNNN-out to it.

Faults (--fault F, or at run time the text F written into DIR/.fault, which
is read at every command and, while it exists, overrides --fault; an empty
file or "none" means no fault):

  refuse-login       every login is answered 530.
  drop-mid-transfer  the data connection is closed in the middle of a
                     transfer and the command is answered 426: an upload
                     keeps its first 4 KiB (an upload that ends before 4 KiB
                     keeps only half of its bytes); a download sends
                     min(4 KiB, half of the file).
  disk-full          STOR, APPE and STOU are answered 552.
  hang               after login, the transfer commands (STOR, APPE, STOU,
                     RETR, LIST, NLST, MLSD) get no answer at all; the
                     connection is closed (421) after 60 s.
  stall              the transfer commands are answered and their data
                     connection is accepted, then it moves no byte in either
                     direction, and the command's end is never answered.
  fail-first:N       the first N STOR commands (counted from when this fault
                     came into force) are answered 451, later ones work.
  keep-short:N       the Nth STOR (counted the same way) keeps only half of
                     its bytes yet is answered 226 as if whole: a server that
                     loses data without saying so.
  slow[:KIB]         data connections run at KIB KiB/s (default 1024):
                     not a failure, for progress bars and responsiveness.
"""

import argparse
import itertools
import logging
import os
import socket
import sys
import threading

from OpenSSL import SSL
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import (DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_DTPHandler,
                                TLS_FTPHandler)
from pyftpdlib.ioloop import RetryError
from pyftpdlib.servers import FTPServer

DROP_LIMIT = 4096
HANG_SECONDS = 60
HANG_COMMANDS = {"STOR", "APPE", "STOU", "RETR", "LIST", "NLST", "MLSD"}
STORE_COMMANDS = {"STOR", "APPE", "STOU"}
SIMPLE_FAULTS = {"refuse-login", "drop-mid-transfer", "disk-full", "hang", "stall"}

log = logging.getLogger("brenvo-ftpd")


def parse_fault(text):
    """Returns (name, number) for a fault text, (None, 0) for no fault.
    Raises ValueError for an unknown fault."""
    text = (text or "").strip()
    if text in ("", "none"):
        return (None, 0)
    if text in SIMPLE_FAULTS:
        return (text, 0)
    name, sep, number = text.partition(":")
    if name in ("fail-first", "keep-short") and sep and number.strip().isdigit():
        return (name, int(number))
    if name == "slow":
        if not sep:
            return (name, 1024)
        if number.strip().isdigit() and int(number) > 0:
            return (name, int(number))
    raise ValueError("unknown fault %r" % text)


class FaultState:
    """The fault in force, shared by all connections of the server."""

    def __init__(self, root, default_text):
        self.fault_file = os.path.join(root, ".fault")
        self.default_text = default_text or ""
        self.text = None
        self.fault = (None, 0)
        self.stor_count = 0
        self.warned = None

    def current(self):
        try:
            with open(self.fault_file, "r", encoding="utf-8") as f:
                text = f.read().strip()
        except FileNotFoundError:
            text = self.default_text.strip()
        except OSError as err:
            log.warning("cannot read %s: %s", self.fault_file, err)
            text = self.default_text.strip()
        if text != self.text:
            self.text = text
            self.stor_count = 0  # STORs count from when the fault came in force
            try:
                self.fault = parse_fault(text)
            except ValueError as err:
                log.warning("%s: %s; running without a fault", self.fault_file, err)
                self.fault = (None, 0)
            log.info("fault now: %s", self.fault[0] or "none")
        return self.fault


class Recorder:
    """--record DIR: pyftpdlib gets a loopback twin of each connection, and
    two threads relay the bytes between the two, writing them down."""

    def __init__(self, folder):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.numbers = itertools.count(1)
        self.classes = {}

    def twin(self, sock):
        with socket.create_server(("127.0.0.1", 0)) as listener:
            inner = socket.create_connection(listener.getsockname())
            outer, _ = listener.accept()
        number = next(self.numbers)
        sock.setblocking(True)
        running = [2]
        lock = threading.Lock()

        def pump(source, target, direction):
            with open(os.path.join(self.folder, "%04d-%s" % (number, direction)), "wb") as copy:
                while True:
                    try:
                        data = source.recv(65536)
                        if data:
                            copy.write(data)
                            target.sendall(data)
                    except OSError:
                        data = b""
                    if not data:
                        break
            try:
                target.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            with lock:
                running[0] -= 1
                if not running[0]:
                    sock.close()
                    outer.close()

        for args in ((sock, outer, "in"), (outer, sock, "out")):
            threading.Thread(target=pump, args=args, daemon=True).start()
        return inner

    def data_class(self, cls):
        """cls with its data connections recorded."""
        if cls not in self.classes:
            def init(handler, sock, cmd_channel):
                cls.__init__(handler, self.twin(sock), cmd_channel)
            self.classes[cls] = type("Recorded" + cls.__name__, (cls,), {"__init__": init})
        return self.classes[cls]


class RecordedServer(FTPServer):
    recorder = None  # Recorder, set in main()

    def handle_accepted(self, sock, addr):
        return FTPServer.handle_accepted(self, self.recorder.twin(sock), addr)


class BrenvoDTPHandler(DTPHandler):
    """Data channel that can drop a transfer half-way (drop-mid-transfer)."""

    def _dropping(self):
        return getattr(self.cmd_channel, "brenvo_drop", False)

    def _abort_dropped(self, keep):
        if self.receive and self.file_obj is not None and not self.file_obj.closed:
            try:
                self.file_obj.flush()
                self.file_obj.truncate(keep)
            except OSError as err:
                log.warning("truncate failed: %s", err)
        self.transfer_finished = False
        self._resp = ("426 Connection closed; transfer aborted (fault drop-mid-transfer).",
                      log.info)
        self.cmd_channel.brenvo_drop = False
        self.close()

    def handle_read(self):
        if not (self._dropping() and self.receive):
            return DTPHandler.handle_read(self)
        try:
            chunk = self.recv(self.ac_in_buffer_size)
        except RetryError:
            return None
        except OSError:
            return self.handle_error()
        if self._closed:  # recv() saw the end and handle_close() ran
            return
        room = DROP_LIMIT - self.tot_bytes_received
        self.tot_bytes_received += len(chunk)
        if chunk and room > 0:
            self.file_obj.write(chunk[:room])
        if self.tot_bytes_received >= DROP_LIMIT:
            self._abort_dropped(DROP_LIMIT)

    handle_read_event = handle_read

    def handle_close(self):
        if self._dropping() and not self._closed:
            keep = self.tot_bytes_received // 2 if self.receive else 0
            return self._abort_dropped(keep)
        return DTPHandler.handle_close(self)


class StallDTPHandler(DTPHandler):
    """Data channel that leaves the event loop as soon as the transfer
    starts: the socket stays open, and nothing is read or written on it."""

    def modify_ioloop_events(self, events, logdebug=False):
        if self._fileno in self.ioloop.socket_map:
            self.del_channel()


class SlowDTPHandler(ThrottledDTPHandler):
    read_limit = 1024 * 1024
    write_limit = 1024 * 1024


def make_slow_dtp(kib_per_second):
    class Slow(SlowDTPHandler):
        read_limit = kib_per_second * 1024
        write_limit = kib_per_second * 1024
    return Slow


class BrenvoHandler(FTPHandler):
    faults = None  # FaultState, set in main()
    recorder = None  # Recorder with --record, set in main()
    auth_failed_timeout = 0.05
    banner = "Branch FTP server ready."
    brenvo_drop = False
    brenvo_short = False
    brenvo_hung = False
    _slow_classes = {}

    def pre_process_command(self, line, cmd, arg):
        if self.brenvo_hung:
            return  # a hung session answers nothing any more
        if cmd in HANG_COMMANDS:
            self.brenvo_drop = False  # set again by STOR / RETR for this transfer
        name, number = self.faults.current()
        if name == "slow":
            cls = self._slow_classes.get(number)
            if cls is None:
                cls = self._slow_classes[number] = make_slow_dtp(number)
            self.dtp_handler = self.data_handler(cls)
        elif name == "stall":
            self.dtp_handler = self.data_handler(StallDTPHandler)
        else:
            self.dtp_handler = self.data_handler(BrenvoDTPHandler)
        if self.recorder:
            self.dtp_handler = self.recorder.data_class(self.dtp_handler)
        if name == "hang" and self.authenticated and cmd in HANG_COMMANDS:
            self.logline("<- %s (fault hang: no answer)" % line)
            self.brenvo_hung = True
            self.ioloop.call_later(HANG_SECONDS, self._end_hang, _errback=self.handle_error)
            return
        return FTPHandler.pre_process_command(self, line, cmd, arg)

    def data_handler(self, cls):
        """The class of the next data connection, from the fault's class."""
        return cls

    def _end_hang(self):
        if not self._closed:
            self.respond("421 Service not available, closing control connection (fault hang).")
            self.close_when_done()

    def _refuse_transfer(self, reply):
        self._shutdown_connecting_dtp()
        if self.data_channel is not None:
            self.data_channel.close()
        self.respond(reply)

    def _store_fault(self):
        """Answers a store command when a fault says so; True when answered."""
        name, number = self.faults.current()
        self.brenvo_drop = name == "drop-mid-transfer"
        self.brenvo_short = False
        if name == "keep-short":
            self.faults.stor_count += 1
            self.brenvo_short = self.faults.stor_count == number
        if name == "disk-full":
            self._refuse_transfer(
                "552 Requested file action aborted. Exceeded storage allocation "
                "(fault disk-full).")
            return True
        if name == "fail-first" and self.faults.stor_count < number:
            self.faults.stor_count += 1
            self._refuse_transfer(
                "451 Requested action aborted: local error in processing "
                "(fault fail-first, failure %d of %d)." % (self.faults.stor_count, number))
            return True
        return False

    def ftp_PASS(self, line):
        if self.faults.current()[0] == "refuse-login" and not self.authenticated:
            if not self.username:
                return FTPHandler.ftp_PASS(self, line)
            return self.handle_auth_failed("Login refused (fault refuse-login).", line)
        return FTPHandler.ftp_PASS(self, line)

    def on_file_received(self, file):
        if self.brenvo_short:
            self.brenvo_short = False
            try:
                os.truncate(file, os.path.getsize(file) // 2)
            except OSError as err:
                log.warning("truncate failed: %s", err)

    def ftp_STOR(self, file, mode="w"):
        if self._store_fault():
            return None
        return FTPHandler.ftp_STOR(self, file, mode)

    def ftp_STOU(self, line):
        if self._store_fault():
            return None
        return FTPHandler.ftp_STOU(self, line)

    def ftp_APPE(self, file):
        if self._store_fault():
            return None
        return FTPHandler.ftp_APPE(self, file)

    def ftp_RETR(self, file):
        self.brenvo_drop = self.faults.current()[0] == "drop-mid-transfer"
        if not self.brenvo_drop:
            return FTPHandler.ftp_RETR(self, file)
        try:
            with open(file, "rb") as f:
                data = f.read()
        except OSError as err:
            self.respond("550 %s." % (err.strerror or err))
            return None
        self.push_dtp_data(data[:min(DROP_LIMIT, len(data) // 2)], isproducer=False, cmd="RETR")
        return file


class HandshakeFirstDTPHandler(TLS_DTPHandler):
    """A protected data connection whose client begins TLS at once, before
    its transfer command (libcurl does), was closed by pyftpdlib 1.5.7, which
    reads nothing on a data connection before that command (fixed after that
    release, pyftpdlib #612): it is read while its handshake runs."""

    def readable(self):
        return self._ssl_accepting or super().readable()


class BrenvoTLSHandler(BrenvoHandler, TLS_FTPHandler):
    """BrenvoHandler under explicit TLS: the fault classes of the data
    connection get TLS under them, for PROT P."""
    _tls_classes = {}

    def data_handler(self, cls):
        if cls not in self._tls_classes:
            self._tls_classes[cls] = type("TLS" + cls.__name__,
                                          (HandshakeFirstDTPHandler, cls), {})
        return self._tls_classes[cls]


def watch_stdin():
    """Ends the process when stdin closes (the test that started it is gone)."""
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except OSError:
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True, help="FTP root folder (created if missing)")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1, 0 = any free")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--fault", default="", help="fault in force at start (see above)")
    parser.add_argument("--verbose", action="store_true", help="log every command on stderr")
    parser.add_argument("--exit-on-stdin-eof", action="store_true",
                        help="end when stdin is closed (for test fixtures)")
    parser.add_argument("--certificate", help="PEM certificate (with its chain): offer AUTH TLS")
    parser.add_argument("--key", help="PEM key of --certificate")
    parser.add_argument("--tls-required", action="store_true",
                        help="refuse logins and data connections without TLS")
    parser.add_argument("--record", help="folder for the bytes of every connection (see above)")
    args = parser.parse_args()
    try:
        parse_fault(args.fault)
    except ValueError as err:
        parser.error(str(err))
    if bool(args.certificate) != bool(args.key) or (args.tls_required and not args.certificate):
        parser.error("--certificate and --key go together, and --tls-required needs them")

    logging.basicConfig(stream=sys.stderr,
                        level=logging.DEBUG if args.verbose else logging.WARNING,
                        format="brenvo-ftpd: %(message)s")
    if not args.verbose:
        logging.getLogger("pyftpdlib").setLevel(logging.WARNING)

    root = os.path.abspath(args.root)
    os.makedirs(root, exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, root, perm="elradfmwMT")
    handler = BrenvoTLSHandler if args.certificate else BrenvoHandler
    handler.authorizer = authorizer
    handler.faults = FaultState(root, args.fault)
    if args.certificate:
        handler.certfile = args.certificate
        handler.keyfile = args.key
        handler.tls_control_required = handler.tls_data_required = args.tls_required
        try:
            handler.get_ssl_context()
        except (OSError, SSL.Error) as err:
            sys.exit("brenvo-ftpd: cannot use %s and %s: %s" % (args.certificate, args.key, err))

    server_class = FTPServer
    if args.record:
        server_class = RecordedServer
        handler.recorder = RecordedServer.recorder = Recorder(os.path.abspath(args.record))
    try:
        server = server_class(("127.0.0.1", args.port), handler)
    except OSError as err:
        sys.exit("brenvo-ftpd: cannot listen on 127.0.0.1:%d: %s" % (args.port, err.strerror or err))
    server.max_cons = 256
    port = server.socket.getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()

    if args.exit_on_stdin_eof:
        threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
