#!/usr/bin/python3
"""brenvo-sipfar: a branch telephone system and a far end for the SIP line,
for the tests, the benchmarks and ./run demo --sip.

    /usr/bin/python3 tools/brenvo-sipfar/brenvo-sipfar.py serve --dir DIR \
        [--desk-user 2001] [--desk-password secret] [--stay]

serve starts, on free ports of 127.0.0.1,
  - kamailio as the registrar and proxy (a config of ours written into DIR,
    locations in memory, no database): the desk's extension registers with
    digest authentication; a call to the desk's user goes to the desk; any
    other number, a leading 9 (the outside line) dropped, goes to the far
    end, whose calls carry P-Asserted-Identity <sip:0299990000@...>;
  - baresip as the far end, user "far": it plays DIR/far.wav (a 1000 Hz tone
    for a second, a pause of 0.4 s, then espeak-ng's voice, DIR/speech.wav,
    and a pause, over and over for --far-seconds), records what it hears
    into DIR/heard/ (its sndfile module, *-dec.wav) and is driven over its
    ctrl_tcp module.
DIR/agent.wav is made for the desk's AudioIn: a quiet 1500 Hz tone.
It writes DIR/peers.json and prints "READY" and that JSON on one line. Then
it reads one command a line on stdin and answers one line ("OK ..." or
"ERROR ..."); the far end's call events come as "EVENT TYPE JSON" lines as
they happen. The end of stdin stops both programs by their process ids
(with --stay only SIGTERM or SIGINT does, for a demo):

  ring [NUMBER]   the far end calls the desk, as NUMBER (its own else)
  dial NUMBER     the far end calls NUMBER
  answer          the far end answers its ringing call
  hangup          the far end hangs up (a ringing call is refused 486)
  registrar stop  stops kamailio; registrar start starts it again on its port

A person drives the far end of a running serve from another terminal with
the same commands: brenvo-sipfar.py ring|answer|hangup|state --dir DIR.
"""

import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path

FAR_USER = "far"
FAR_PASSWORD = "far-secret"
FAR_NUMBER = "0299990000"
TONE_HZ = 1000
AGENT_TONE_HZ = 1500
SPEECH = "Good morning. This is the branch calling about your appointment."

KAMAILIO_CFG = """#!KAMAILIO
debug=1
log_stderror=yes
children=2
listen=udp:127.0.0.1:{port}
mpath="/usr/lib/x86_64-linux-gnu/kamailio/modules/"
loadmodule "tm.so"
loadmodule "sl.so"
loadmodule "rr.so"
loadmodule "pv.so"
loadmodule "maxfwd.so"
loadmodule "textops.so"
loadmodule "siputils.so"
loadmodule "usrloc.so"
loadmodule "registrar.so"
loadmodule "auth.so"
loadmodule "htable.so"
modparam("usrloc", "db_mode", 0)
modparam("registrar", "min_expires", 10)
modparam("htable", "htable", "users=>size=4;")

event_route[htable:mod-init] {{
    $sht(users=>{desk_user}) = "{desk_password}";
    $sht(users=>{far_user}) = "{far_password}";
}}

request_route {{
    if (!mf_process_maxfwd_header("10")) {{ sl_send_reply("483", "Too Many Hops"); exit; }}
    if (is_method("OPTIONS") && uri == myself && $rU == $null) {{
        sl_send_reply("200", "OK");
        exit;
    }}
    if (has_totag()) {{
        if (loose_route() || is_method("ACK|BYE|CANCEL")) {{ t_relay(); exit; }}
        sl_send_reply("404", "Not here");
        exit;
    }}
    if (is_method("CANCEL")) {{
        if (t_check_trans()) t_relay();
        exit;
    }}
    t_check_trans();
    if (is_method("REGISTER")) {{
        if (!pv_www_authenticate("$td", "$sht(users=>$au)", "0")) {{
            www_challenge("$td", "0");
            exit;
        }}
        save("location");
        exit;
    }}
    if (!is_method("INVITE")) {{ sl_send_reply("405", "Method Not Allowed"); exit; }}
    record_route();
    # The caller's number as the branch's system asserts it: a test picks it
    # with a cli parameter on the request URI, else the far end's own number.
    if ($(ru{{uri.param,cli}}) != "")
        append_hf("P-Asserted-Identity: <sip:$(ru{{uri.param,cli}})@$fd>\\r\\n");
    else if ($fU == "{far_user}")
        append_hf("P-Asserted-Identity: <sip:{far_number}@$fd>\\r\\n");
    if ($rU =~ "^9") strip(1);
    if ($rU != "{desk_user}") $rU = "{far_user}";
    if (!lookup("location")) {{ sl_send_reply("404", "Not Found"); exit; }}
    t_relay();
}}
"""

BARESIP_CONFIG = """poll_method epoll
sip_listen 127.0.0.1:{port}
call_local_timeout 120
call_max_calls 4
audio_source aufile,{far_wav}
audio_player aufile,{heard}/discard.wav
audio_alert aufile,{far_wav}
jitter_buffer_delay 2-10
module_path /usr/lib/baresip/modules
module g711.so
module aufile.so
module sndfile.so
module_tmp account.so
module_app menu.so
module_app ctrl_tcp.so
ctrl_tcp_listen 127.0.0.1:{ctrl}
snd_path {heard}
"""


def free_port(kinds=(socket.SOCK_DGRAM,), count=1):
    """A port of 127.0.0.1 free for every kind, with count-1 free ports after it."""
    for _ in range(200):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if port + count > 65535:
            continue
        try:
            held = []
            for offset in range(count):
                for kind in kinds:
                    s = socket.socket(socket.AF_INET, kind)
                    held.append(s)
                    s.bind(("127.0.0.1", port + offset))
            return port
        except OSError:
            continue
        finally:
            for s in held:
                s.close()
    raise RuntimeError("no free port")


def make_wavs(folder, seconds):
    """The far end's WAV: a tone, a pause, then speech and a pause over and
    over for the given length (baresip ends a call where its file ends); and
    the agent's, a quiet tone."""
    fmt = ["-r", "8000", "-c", "1", "-b", "16"]
    sox = lambda *args: subprocess.run(["sox", *map(str, args)], check=True)
    voice = folder / "voice.wav"
    subprocess.run(["espeak-ng", "-v", "en", "-s", "150", "-w", str(voice), SPEECH], check=True)
    sox(voice, *fmt, folder / "speech.wav")
    sox("-n", *fmt, folder / "tone.wav", "synth", "1.0", "sine", TONE_HZ, "vol", "0.5")
    sox("-n", *fmt, folder / "pause.wav", "trim", "0", "0.4")
    sox(folder / "speech.wav", folder / "pause.wav", folder / "sentence.wav")
    sentence = float(subprocess.run(["soxi", "-D", str(folder / "sentence.wav")], check=True,
                                    capture_output=True, text=True).stdout)
    sox(folder / "sentence.wav", folder / "sentences.wav", "repeat",
        max(0, int((seconds - 1.4) / sentence)))
    sox(folder / "tone.wav", folder / "pause.wav", folder / "sentences.wav", folder / "far.wav")
    sox("-n", *fmt, folder / "agent.wav", "synth", "2.0", "sine", AGENT_TONE_HZ, "vol", "0.03")


def netstring(payload):
    data = json.dumps(payload).encode()
    return str(len(data)).encode() + b":" + data + b","


class Control:
    """baresip's ctrl_tcp: netstring JSON commands, responses and events."""

    def __init__(self, port, on_event):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.settimeout(None)
        self.on_event = on_event
        self.responses = []
        self.cond = threading.Condition()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        buf = b""
        while True:
            try:
                chunk = self.sock.recv(65536)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            while b":" in buf:
                head, rest = buf.split(b":", 1)
                length = int(head)
                if len(rest) < length + 1:
                    break
                message = json.loads(rest[:length])
                buf = rest[length + 1:]
                if message.get("event"):
                    self.on_event(message)
                else:
                    with self.cond:
                        self.responses.append(message)
                        self.cond.notify_all()

    def command(self, name, params=None, timeout=5):
        message = {"command": name, "token": name}
        if params:
            message["params"] = params
        with self.cond:
            self.responses.clear()
            self.sock.sendall(netstring(message))
            if not self.cond.wait_for(lambda: self.responses, timeout):
                raise RuntimeError(f"baresip did not answer {name}")
            return self.responses.pop(0)


class Peers:
    def __init__(self, folder, desk_user, desk_password):
        self.folder = folder
        self.desk_user = desk_user
        self.desk_password = desk_password
        self.out = threading.Lock()
        self.kamailio = None
        self.baresip = None

    def say(self, line):
        with self.out:
            print(line, flush=True)

    def start(self, far_seconds, answer):
        make_wavs(self.folder, far_seconds)
        self.sip_port = free_port()
        (self.folder / "kamailio.cfg").write_text(KAMAILIO_CFG.format(
            port=self.sip_port, desk_user=self.desk_user, desk_password=self.desk_password,
            far_user=FAR_USER, far_password=FAR_PASSWORD, far_number=FAR_NUMBER))
        self.start_registrar()
        # baresip listens on UDP and TCP at its port and for TLS on the next.
        far_port = free_port((socket.SOCK_DGRAM, socket.SOCK_STREAM), 2)
        self.ctrl_port = free_port((socket.SOCK_STREAM,))
        heard = self.folder / "heard"
        config = self.folder / "baresip"
        heard.mkdir(exist_ok=True)
        config.mkdir(exist_ok=True)
        (config / "config").write_text(BARESIP_CONFIG.format(
            port=far_port, ctrl=self.ctrl_port, far_wav=self.folder / "far.wav", heard=heard))
        (config / "accounts").write_text(
            f"<sip:{FAR_USER}@127.0.0.1:{self.sip_port}>;auth_pass={FAR_PASSWORD};"
            f"answermode={answer};audio_codecs=pcmu,pcma;regint=600\n")
        with open(self.folder / "baresip.log", "wb") as log:
            self.baresip = subprocess.Popen(["baresip", "-s", "-f", str(config)], stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)
        self.control = self.connect_control()
        deadline = time.monotonic() + 10
        while "OK" not in self.control.command("reginfo").get("data", ""):
            if time.monotonic() > deadline:
                raise RuntimeError("the far end did not register")
            time.sleep(0.1)
        state = {"sip_port": self.sip_port, "ctrl_port": self.ctrl_port,
                 "desk_user": self.desk_user, "far_number": FAR_NUMBER, "tone_hz": TONE_HZ,
                 "agent_tone_hz": AGENT_TONE_HZ, "far_wav": str(self.folder / "far.wav"),
                 "speech_wav": str(self.folder / "speech.wav"),
                 "agent_wav": str(self.folder / "agent.wav"), "heard": str(heard),
                 "kamailio_pid": self.kamailio.pid, "baresip_pid": self.baresip.pid}
        # The desk's settings for this line, without a sound card.
        state["line_section"] = (
            f"[Line]\nDevice=sip\nSipServer=127.0.0.1:{self.sip_port}\n"
            f"SipUser={self.desk_user}\nSipPassword={self.desk_password}\nSipPort=0\n"
            f"AudioIn=file:{state['agent_wav']}\nAudioOut=null\n")
        (self.folder / "peers.json").write_text(json.dumps(state))
        self.say("READY " + json.dumps(state))

    def connect_control(self):
        deadline = time.monotonic() + 10
        while True:
            try:
                return Control(self.ctrl_port, self.event)
            except OSError:
                if time.monotonic() > deadline or self.baresip.poll() is not None:
                    raise RuntimeError("the far end's control port does not answer")
                time.sleep(0.05)

    def event(self, message):
        self.say(f"EVENT {message.get('type', '')} {json.dumps(message)}")

    def start_registrar(self):
        with open(self.folder / "kamailio.log", "ab") as log:
            self.kamailio = subprocess.Popen(
                ["kamailio", "-f", str(self.folder / "kamailio.cfg"), "-DD", "-E", "-m", "16",
                 "-M", "4", "-Y", str(self.folder)],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        probe.settimeout(0.1)
        deadline = time.monotonic() + 10
        try:
            while time.monotonic() < deadline:
                if self.kamailio.poll() is not None:
                    raise RuntimeError("kamailio ended at start, see kamailio.log")
                probe.sendto(self.options(probe.getsockname()[1]), ("127.0.0.1", self.sip_port))
                try:
                    probe.recv(4096)
                    return
                except socket.timeout:
                    continue
            raise RuntimeError("kamailio does not answer")
        finally:
            probe.close()

    def options(self, port):
        tag = time.monotonic_ns()
        return (f"OPTIONS sip:127.0.0.1:{self.sip_port} SIP/2.0\r\n"
                f"Via: SIP/2.0/UDP 127.0.0.1:{port};branch=z9hG4bK{tag}\r\n"
                f"From: <sip:probe@127.0.0.1>;tag={tag}\r\nTo: <sip:127.0.0.1>\r\n"
                f"Call-ID: probe-{tag}\r\nCSeq: 1 OPTIONS\r\n"
                "Max-Forwards: 5\r\nContent-Length: 0\r\n\r\n").encode()

    def stop_registrar(self):
        """kamailio and its workers: their process group, led by its id."""
        if self.kamailio and self.kamailio.poll() is None:
            os.killpg(self.kamailio.pid, signal.SIGTERM)
            try:
                self.kamailio.wait(5)
            except subprocess.TimeoutExpired:
                pass
            try:
                os.killpg(self.kamailio.pid, signal.SIGKILL)  # whatever stayed behind
            except ProcessLookupError:
                pass
            self.kamailio.wait()

    def stop(self):
        if self.baresip and self.baresip.poll() is None:
            self.baresip.terminate()
            try:
                self.baresip.wait(5)
            except subprocess.TimeoutExpired:
                self.baresip.kill()
        self.stop_registrar()

    def handle(self, line):
        words = line.split()
        if not words:
            return "ERROR empty command"
        verb, args = words[0], words[1:]
        try:
            if verb == "registrar" and args == ["stop"]:
                self.stop_registrar()
                return "OK"
            if verb == "registrar" and args == ["start"]:
                self.start_registrar()
                return "OK"
            return far_command(self.control, verb, args, self.desk_user, self.sip_port)
        except (RuntimeError, OSError, subprocess.TimeoutExpired) as e:
            return f"ERROR {e}"


def far_command(control, verb, args, desk_user, sip_port):
    if verb == "ring" and len(args) <= 1:
        cli = f";cli={args[0]}" if args else ""
        verb, args = "dial", [f"{desk_user}@127.0.0.1:{sip_port}{cli}"]
    if verb == "dial" and len(args) == 1:
        target = args[0] if "@" in args[0] else f"{args[0]}@127.0.0.1:{sip_port}"
        response = control.command("dial", "sip:" + target)
    elif verb in ("answer", "hangup", "state") and not args:
        response = control.command({"answer": "accept", "state": "listcalls"}.get(verb, verb))
    else:
        return "ERROR unknown command " + " ".join([verb, *args])
    data = (response.get("data") or "").strip().replace("\n", " | ")
    return ("OK " if response.get("ok") else "ERROR ") + data


def serve(options):
    folder = Path(options.dir).resolve()
    folder.mkdir(parents=True, exist_ok=True)
    peers = Peers(folder, options.desk_user, options.desk_password)
    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    try:
        peers.start(options.far_seconds, "auto" if options.answer else "manual")
        if options.stay:
            stopping.wait()
        else:
            threading.Thread(target=lambda: (read_commands(peers), stopping.set()),
                             daemon=True).start()
            stopping.wait()
    except RuntimeError as e:
        print(f"ERROR {e}", file=sys.stderr, flush=True)
        return 1
    finally:
        peers.stop()
    return 0


def read_commands(peers):
    for line in sys.stdin:
        peers.say(peers.handle(line.strip()))


def one_shot(options):
    state = json.loads((Path(options.dir) / "peers.json").read_text())
    control = Control(state["ctrl_port"], lambda message: None)
    print(far_command(control, options.command, options.args, state["desk_user"],
                      state["sip_port"]))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("command", choices=["serve", "ring", "dial", "answer", "hangup", "state"])
    parser.add_argument("args", nargs="*")
    parser.add_argument("--dir", required=True)
    parser.add_argument("--desk-user", default="2001")
    parser.add_argument("--desk-password", default="secret")
    parser.add_argument("--stay", action="store_true")
    parser.add_argument("--answer", action="store_true",
                        help="the far end answers every call at once")
    parser.add_argument("--far-seconds", type=float, default=60,
                        help="how long the far end talks in a call")
    options = parser.parse_args()
    return serve(options) if options.command == "serve" else one_shot(options)


if __name__ == "__main__":
    sys.exit(main())
