#!/usr/bin/python3
"""brenvo-latency: a loopback TCP proxy that makes a link slow, for benchmarks.

    /usr/bin/python3 tools/brenvo-latency/brenvo-latency.py \
        --route tds=127.0.0.1:14330 --route ftp=127.0.0.1:2121:ftp \
        [--delay-ms 10]

Each --route NAME=HOST:PORT[:ftp] listens on a free port of 127.0.0.1 and
forwards every connection to HOST:PORT. Every byte waits --delay-ms in each
direction, so a round trip costs twice that; bytes keep flowing while others
wait, so the delay costs latency, not bandwidth. A new connection costs a
round trip and a half before the server sees it, as a TCP handshake over such
a link does (the kernel completes the loopback handshake at once, so the
proxy holds the connection instead).

An ftp route also carries the passive data connections: every 227 (PASV) and
229 (EPSV) reply is rewritten to a port of the proxy that forwards to the
server's data port with the same delay, so both directions of every byte of
a transfer pay it too. Active mode (PORT/EPRT) is not carried.

On start it prints "ROUTE NAME PORT" per route and then "READY", one line
each. It then reads one command a line on stdin and answers one line on
stdout; the end of stdin ends it:

  stats       a JSON object per route: connections (new connections, each a
              handshake), turns (client-to-server messages: bursts the client
              sends after the server last spoke, i.e. round trips it waits
              for), waited_ms (from each turn's first byte to the last byte
              of its answer handed to the client, summed), bytes_up,
              bytes_down, and for ftp routes commands (FTP commands by verb)
              and data_connections
  reset       sets every count to zero
  delay MS    the one-way delay from now on

What it does not emulate: bandwidth limits, loss, jitter, reordering; TLS
(AUTH TLS would hide the passive replies); active-mode FTP.
"""

import argparse
import asyncio
import json
import re
import sys
import os
import threading

PASV = re.compile(rb"^227 .*?\(\s*(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\s*\)")
EPSV = re.compile(rb"^(229 .*?\(\s*)(.)\2\2(\d+)\2(\s*\).*)$", re.S)
CHUNK = 256 * 1024
TICK = 0.001
# The loop keeps only weak references to tasks: these keep them alive.
TASKS = set()


def spawn(coroutine):
    task = asyncio.ensure_future(coroutine)
    TASKS.add(task)
    task.add_done_callback(TASKS.discard)
    return task


class Counts:
    def __init__(self, ftp):
        self.ftp = ftp
        self.reset()

    def reset(self):
        self.connections = 0
        self.turns = 0
        self.bytes_up = 0
        self.bytes_down = 0
        self.waited = 0.0
        self.commands = {}
        self.data_connections = 0

    def as_dict(self):
        d = {"connections": self.connections, "turns": self.turns,
             "waited_ms": round(self.waited * 1000, 1),
             "bytes_up": self.bytes_up, "bytes_down": self.bytes_down}
        if self.ftp:
            d["commands"] = dict(sorted(self.commands.items()))
            d["data_connections"] = self.data_connections
        return d


class Turns:
    """Round trips on one connection: a turn starts when the client speaks
    after the server did, and the client waits from then until the last
    byte of the answer has been handed to it."""

    def __init__(self, counts):
        self.counts = counts
        self.server_spoke = True
        self.started = None
        self.answered_at = None

    def client_sent(self):
        if not self.server_spoke:
            return
        self.end()
        self.counts.turns += 1
        self.server_spoke = False
        self.started = asyncio.get_running_loop().time()

    def server_sent(self):
        self.server_spoke = True

    def answered(self):
        self.answered_at = asyncio.get_running_loop().time()

    def end(self):
        if self.started is not None and self.answered_at is not None:
            self.counts.waited += max(0.0, self.answered_at - self.started)
        self.started = self.answered_at = None


class Proxy:
    def __init__(self, delay_ms):
        self.delay = delay_ms / 1000.0

    async def link(self, client_reader, client_writer, host, port, counts, ftp_control):
        """One proxied connection: the handshake's cost, then both directions."""
        loop = asyncio.get_running_loop()
        # The server sees the connection a round trip and a half after the
        # client asked for it (SYN, SYN-ACK, ACK); what the client sent
        # meanwhile reaches the server then.
        connected_at = loop.time() + 3 * self.delay
        state = Turns(counts)

        async def upstream():
            await asyncio.sleep(max(0.0, connected_at - loop.time()))
            return await asyncio.open_connection(host, port)

        server = spawn(upstream())
        writer_ready = loop.create_future()
        server.add_done_callback(
            lambda f: writer_ready.set_result(None if f.exception() else f.result()[1]))
        up = spawn(self.pump(
            client_reader, writer_ready, connected_at,
            lambda data: self.client_chunk(data, counts, state, ftp_control), None))
        try:
            server_reader, server_writer = await server
        except OSError:
            up.cancel()
            client_writer.close()
            return
        client_ready = loop.create_future()
        client_ready.set_result(client_writer)
        down = spawn(self.pump(
            server_reader, client_ready, 0.0,
            lambda data: self.server_chunk(data, counts, state, host, ftp_control),
            state.answered))
        try:
            # Either side failing ends both: closing a socket ends its reader.
            await asyncio.wait({up, down}, return_when=asyncio.FIRST_EXCEPTION)
            if any(t.done() and not t.cancelled() and t.exception() for t in (up, down)):
                client_writer.close()
                server_writer.close()
            await asyncio.gather(up, down, return_exceptions=True)
        finally:
            state.end()
            client_writer.close()
            server_writer.close()

    def client_chunk(self, data, counts, state, ftp_control):
        counts.bytes_up += len(data)
        state.client_sent()
        if ftp_control is not None:
            ftp_control["up"] += data
            while b"\n" in ftp_control["up"]:
                line, _, ftp_control["up"] = ftp_control["up"].partition(b"\n")
                verb = line.strip().split(b" ", 1)[0].upper().decode("ascii", "replace")
                if verb:
                    counts.commands[verb] = counts.commands.get(verb, 0) + 1
        return data

    async def server_chunk(self, data, counts, state, host, ftp_control):
        counts.bytes_down += len(data)
        state.server_sent()
        if ftp_control is None:
            return data
        # Replies are rewritten whole lines at a time; a partial line waits
        # for its end.
        ftp_control["down"] += data
        out = b""
        while b"\n" in ftp_control["down"]:
            line, _, ftp_control["down"] = ftp_control["down"].partition(b"\n")
            out += await self.rewrite(line + b"\n", host, counts)
        return out

    async def rewrite(self, line, host, counts):
        m = PASV.match(line)
        if m:
            target = ".".join(x.decode() for x in m.groups()[:4])
            port = int(m.group(5)) * 256 + int(m.group(6))
            mine = await self.data_listener(target, port, counts)
            return b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (mine // 256, mine % 256)
        m = EPSV.match(line)
        if m:
            mine = await self.data_listener(host, int(m.group(3)), counts)
            sep = m.group(2)
            return m.group(1) + sep * 3 + str(mine).encode() + sep + m.group(4)
        return line

    async def data_listener(self, host, port, counts):
        """A port of ours for one passive data connection to host:port."""
        done = asyncio.get_running_loop().create_future()

        async def accept(reader, writer):
            if done.done():
                writer.close()
                return
            done.set_result(True)
            server.close()
            counts.data_connections += 1
            await self.link(reader, writer, host, port, Counts(False), None)

        server = await asyncio.start_server(accept, "127.0.0.1", 0, limit=CHUNK)
        # Nobody came (the command failed): the port goes after a while.
        asyncio.get_running_loop().call_later(60, server.close)
        return server.sockets[0].getsockname()[1]

    async def pump(self, reader, writer_ready, not_before, transform, delivered):
        """Copies reader to the writer writer_ready gives, each chunk (and the
        end of the stream) sent `delay` after it arrived, not before
        not_before; delivered() is called after each chunk is written."""
        loop = asyncio.get_running_loop()
        queue = asyncio.Queue()

        async def send():
            writer = await writer_ready
            while True:
                due, data = await queue.get()
                # The loop's timers tick in whole milliseconds: a chunk due
                # within one goes now, or a stream of small chunks would
                # wait a millisecond each.
                wait = due - loop.time()
                if wait > TICK:
                    await asyncio.sleep(wait)
                if writer is None:
                    continue  # the server could not be reached: drain
                if data is None:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()
                if delivered:
                    delivered()

        sender = spawn(send())
        try:
            while True:
                data = await reader.read(CHUNK)
                due = max(loop.time() + self.delay, not_before)
                if not data:
                    queue.put_nowait((due, None))
                    break
                data = transform(data)
                if asyncio.iscoroutine(data):
                    data = await data
                if data:
                    queue.put_nowait((due, data))
            await sender
        except (ConnectionError, OSError, RuntimeError, asyncio.CancelledError):
            sender.cancel()
            raise


def command(proxy, routes, line):
    """One control command; its one-line answer."""
    words = line.split()
    if words == ["stats"]:
        return json.dumps({name: counts.as_dict() for name, counts in routes.items()})
    if words == ["reset"]:
        for counts in routes.values():
            counts.reset()
        return "OK"
    if len(words) == 2 and words[0] == "delay":
        try:
            proxy.delay = max(0.0, float(words[1]) / 1000.0)
            return "OK"
        except ValueError:
            return "ERROR not a number of milliseconds"
    return "ERROR unknown command (stats, reset, delay MS)"


def read_commands(loop, proxy, routes):
    """Control commands from stdin, answers on stdout; the end of stdin ends
    the proxy (so does the end of the benchmark that started it)."""
    for raw in sys.stdin:
        line = raw.strip()
        if not line:
            continue
        async def answer(line=line):  # on the loop, which owns the counts
            return command(proxy, routes, line)

        print(asyncio.run_coroutine_threadsafe(answer(), loop).result(), flush=True)
    os._exit(0)


def parse_route(text):
    name, sep, rest = text.partition("=")
    parts = rest.split(":")
    if not sep or not name or len(parts) not in (2, 3) or not parts[1].isdigit() or (
            len(parts) == 3 and parts[2] != "ftp"):
        raise argparse.ArgumentTypeError("expected NAME=HOST:PORT or NAME=HOST:PORT:ftp")
    return name, parts[0], int(parts[1]), len(parts) == 3


async def main(args):
    proxy = Proxy(args.delay_ms)
    routes = {}
    for name, host, port, ftp in args.route:
        counts = Counts(ftp)

        async def accept(reader, writer, host=host, port=port, counts=counts, ftp=ftp):
            counts.connections += 1
            await proxy.link(reader, writer, host, port, counts,
                             {"up": b"", "down": b""} if ftp else None)

        server = await asyncio.start_server(accept, "127.0.0.1", 0, limit=CHUNK)
        routes[name] = counts
        print("ROUTE %s %d" % (name, server.sockets[0].getsockname()[1]))
    print("READY", flush=True)
    threading.Thread(target=read_commands, args=(asyncio.get_running_loop(), proxy, routes),
                     daemon=True).start()
    await asyncio.Event().wait()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--route", action="append", type=parse_route, required=True,
                        help="NAME=HOST:PORT[:ftp], repeatable")
    parser.add_argument("--delay-ms", type=float, default=0.0, help="one-way delay")
    try:
        asyncio.run(main(parser.parse_args()))
    except KeyboardInterrupt:
        pass
