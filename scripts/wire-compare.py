#!/usr/bin/env python3
"""Helper of scripts/wire-compare (standard library only).

  wire-compare.py settle SOCKET CAMERAS
      waits until no simulated camera is rebooting (the simulator's control
      channel), at most 30 s; exit 1 when they do not settle.
  wire-compare.py compare [--passwords P1,P2] BEFORE1 BEFORE2 AFTER1 AFTER2
      reads the per-action captures of four session runs and compares the
      discovery frames and HTTP requests of the builds; see
      docs/development.md, "Wire comparison".
  wire-compare.py show RUN_DIR
      lists what one run's captures hold, one line per frame or request.
"""

import difflib
import hashlib
import hmac
import json
import os
import re
import socket
import struct
import sys
import time

TOOL_MAC = bytes.fromhex("024f56000001")
TOOL_IP = "192.0.2.1"
ETHERTYPE_DISCOVERY = 0x0809
MASKED = 0x100  # a byte value no byte has: the mark of a masked position

KINDS = {1: "search request", 2: "search answer", 3: "challenge request",
         4: "challenge", 5: "modify request", 6: "modify result"}


def frame_field(kind, offset):
    """The name of the field at `offset` of a discovery frame of `kind`."""
    head = [(0, 6, "destination MAC"), (6, 6, "source MAC"), (12, 2, "EtherType"),
            (14, 4, "magic"), (18, 1, "version"), (19, 1, "kind"), (20, 2, "body length"),
            (22, 4, "xid"), (26, 4, "reserved")]
    bodies = {
        2: [(0, 8, "device id"), (8, 20, "network block"), (28, 64, "device name"),
            (92, 32, "model"), (124, 32, "firmware version"), (156, 32, "display model")],
        3: [(0, 8, "device id")],
        4: [(0, 8, "device id"), (8, 16, "challenge nonce")],
        5: [(0, 8, "device id"), (8, 16, "challenge nonce"), (24, 20, "network block"),
            (44, 32, "user name"), (76, 64, "new device name"), (140, 32, "proof")],
        6: [(0, 8, "device id"), (8, 4, "result")],
    }
    for start, size, name in head:
        if start <= offset < start + size:
            return name
    for start, size, name in bodies.get(kind, []):
        if 30 + start <= offset < 30 + start + size:
            return name
    return "padding"


# ---------------------------------------------------------------- captures

def read_pcap(path):
    """(timestamp, frame bytes) of a classic pcap file of Ethernet frames."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 24:
        return []
    magic = data[:4]
    if magic in (b"\xd4\xc3\xb2\xa1", b"\x4d\x3c\xb2\xa1"):
        endian = "<"
    elif magic in (b"\xa1\xb2\xc3\xd4", b"\xa1\xb2\x3c\x4d"):
        endian = ">"
    else:
        raise ValueError(f"{path}: not a pcap file")
    nano = magic in (b"\x4d\x3c\xb2\xa1", b"\xa1\xb2\x3c\x4d")
    linktype = struct.unpack(endian + "I", data[20:24])[0]
    if linktype != 1:
        raise ValueError(f"{path}: link type {linktype}, not Ethernet")
    out = []
    pos = 24
    while pos + 16 <= len(data):
        sec, frac, incl, orig = struct.unpack(endian + "IIII", data[pos:pos + 16])
        pos += 16
        if incl < orig:
            raise ValueError(f"{path}: a packet of {orig} bytes was cut to {incl}")
        out.append((sec + frac / (1e9 if nano else 1e6), data[pos:pos + incl]))
        pos += incl
    return out


def mac_text(b):
    return ":".join(f"{x:02X}" for x in b)


class Frame:
    """One discovery frame as captured."""

    def __init__(self, ts, raw):
        self.ts = ts
        self.raw = raw
        self.kind = raw[19] if len(raw) > 19 else 0
        self.from_tool = raw[6:12] == TOOL_MAC
        # The camera end of the frame, which keeps the cameras apart.
        camera = raw[0:6] if self.from_tool else raw[6:12]
        self.camera = "broadcast" if camera == b"\xff" * 6 else mac_text(camera)
        self.direction = "tool>cam" if self.from_tool else "cam>tool"
        # Search rounds repeat while a command runs; the modify exchanges
        # (challenge request to modify result) happen once per change.
        self.search = self.kind in (1, 2)

    def group(self):
        if self.search:
            return f"search {self.direction} {self.camera}"
        return f"exchange {self.camera}"

    def label(self):
        return f"{self.direction} {KINDS.get(self.kind, f'kind {self.kind}')} ({self.camera})"


class Request:
    """One HTTP request the tool sent: the request line, headers and body."""

    def __init__(self, ts, server, line, headers, body):
        self.ts = ts
        self.server = server
        self.line = line
        self.headers = headers  # [(name, value)] as sent, in order
        self.body = body

    def group(self):
        return self.server

    def label(self):
        line = "".join(c if " " <= c <= "~" else "." for c in self.line.split(" HTTP/")[0])
        return f"{line[:80]} -> {self.server}"


def tcp_streams(packets):
    """Client-to-server payload of each TCP connection the tool opened:
    [(first timestamp, server "ip:port", payload bytes)]."""
    conns = {}
    order = []
    for ts, raw in packets:
        if len(raw) < 34 or raw[12:14] != b"\x08\x00":
            continue
        ip = raw[14:]
        ihl = (ip[0] & 15) * 4
        if ip[9] != 6:
            continue
        total = struct.unpack(">H", ip[2:4])[0]
        src = socket.inet_ntoa(ip[12:16])
        dst = socket.inet_ntoa(ip[16:20])
        tcp = ip[ihl:total]
        sport, dport, seq = struct.unpack(">HHI", tcp[0:8])
        flags = tcp[13]
        payload = tcp[(tcp[12] >> 4) * 4:]
        if src != TOOL_IP:
            continue
        key = (sport, dst, dport)
        if flags & 0x02:  # SYN: a new connection (a reused port starts over)
            if key in conns:
                order.append(conns.pop(key))
            conns[key] = {"ts": ts, "server": f"{dst}:{dport}", "isn": seq, "segments": {}}
            continue
        conn = conns.get(key)
        if conn is None or not payload:
            continue
        offset = (seq - conn["isn"] - 1) % (1 << 32)
        # A retransmission carries the same bytes again: the first copy stays.
        conn["segments"].setdefault(offset, payload)
    order.extend(conns.values())
    streams = []
    for conn in order:
        data = bytearray()
        gap = False
        for offset in sorted(conn["segments"]):
            seg = conn["segments"][offset]
            if offset > len(data):
                gap = True  # bytes the capture did not see
                break
            data[offset:offset + len(seg)] = seg
        streams.append((conn["ts"], conn["server"], bytes(data), gap))
    return streams


TLS_QUESTION = "GET /api/v1/tls "


def parse_requests(ts, server, data):
    out = []
    pos = 0
    while pos < len(data):
        end = data.find(b"\r\n\r\n", pos)
        if end < 0:
            out.append(Request(ts, server, "(not HTTP)", [], data[pos:]))
            break
        head = data[pos:end].decode("latin-1").split("\r\n")
        headers = []
        for h in head[1:]:
            name, _, value = h.partition(":")
            headers.append((name, value.strip()))
        pos = end + 4
        length = 0
        chunked = False
        for name, value in headers:
            if name.lower() == "content-length":
                length = int(value)
            elif name.lower() == "transfer-encoding" and "chunked" in value.lower():
                chunked = True
        if chunked:
            body = bytearray()
            while True:
                eol = data.find(b"\r\n", pos)
                size = int(data[pos:eol].split(b";")[0], 16)
                pos = eol + 2
                body += data[pos:pos + size]
                pos += size + 2
                if size == 0:
                    break
            body = bytes(body)
        else:
            body = data[pos:pos + length]
            pos += length
        out.append(Request(ts, server, head[0], headers, body))
    return out


def load_run(run_dir):
    """{action: {"frames": [...], "requests": [...], "exit": code, "lost":
    text or ""}} in session order."""
    actions = {}
    with open(os.path.join(run_dir, "actions")) as f:
        for line in f:
            name, code, dropped = line.split()
            packets = read_pcap(os.path.join(run_dir, name + ".pcap"))
            frames = [Frame(ts, raw) for ts, raw in packets
                      if len(raw) >= 14 and struct.unpack(">H", raw[12:14])[0] == ETHERTYPE_DISCOVERY]
            requests = []
            gaps = 0
            for ts, server, data, gap in tcp_streams(packets):
                requests.extend(parse_requests(ts, server, data))
                gaps += gap
            # A build that knows TLS first asks, without credentials, whether
            # the camera offers it; the rest of its conversation is what is
            # compared (run the cameras without TLS, as an older simulator).
            requests = [r for r in requests if not r.line.startswith(TLS_QUESTION)]
            lost = []
            if dropped != "0":
                lost.append(f"{dropped} packets lost by the capture")
            if gaps:
                lost.append(f"{gaps} TCP connections with bytes missing")
            actions[name] = {"frames": frames, "requests": requests, "exit": int(code),
                             "lost": ", ".join(lost)}
    return actions


def canonical(items):
    """The items grouped by camera (frames) or server (requests), each group
    in capture order. How the command line interleaves its work on several
    cameras at once is timing; the order of what one camera gets is not."""
    groups = {}
    for item in sorted(items, key=lambda i: i.ts):
        groups.setdefault(item.group(), []).append(item)
    return [item for key in sorted(groups) for item in groups[key]]


# ----------------------------------------------------------- normalising

DIGEST_PARAM = re.compile(r'(\w+)=("([^"]*)"|[^,\s]*)')
SEALED_OBJECT = re.compile(rb"\{[^{}]*\}")
SEALED_VALUE = re.compile(rb'"(nonce|iv|data)"(\s*:\s*)"([0-9A-Fa-f]*)"')


def digest_hash(algorithm):
    return hashlib.sha256 if algorithm.upper().startswith("SHA-256") else hashlib.md5


class Normaliser:
    """Replaces what is random by design with placeholders that still say
    what matters: which of the session's passwords a Digest response or a
    discovery proof was made with, and how long a sealed secret is."""

    def __init__(self, passwords):
        self.passwords = passwords
        self.notes = set()

    def digest_proves(self, method, params):
        h = lambda s: digest_hash(params.get("algorithm", "MD5"))(s.encode()).hexdigest()  # noqa: E731
        for index, password in enumerate(self.passwords):
            ha1 = h(f"{params.get('username', '')}:{params.get('realm', '')}:{password}")
            ha2 = h(f"{method}:{params.get('uri', '')}")
            if "qop" in params:
                expected = h(f"{ha1}:{params.get('nonce', '')}:{params.get('nc', '')}:"
                             f"{params.get('cnonce', '')}:{params.get('qop', '')}:{ha2}")
            else:
                expected = h(f"{ha1}:{params.get('nonce', '')}:{ha2}")
            if hmac.compare_digest(expected, params.get("response", "")):
                return index
        return None

    def authorization(self, method, value):
        """Digest's cnonce and the camera's nonce are fresh in every login,
        and so is the response made from them."""
        if not value.lower().startswith("digest "):
            return value
        params = {m.group(1): (m.group(3) if m.group(3) is not None else m.group(2))
                  for m in DIGEST_PARAM.finditer(value[7:])}
        proved = self.digest_proves(method, params)
        self.notes.add("HTTP Authorization Digest: cnonce, nonce and response (fresh in every login); "
                       "the response is replaced by the number of the session password it proves")

        def replace(m):
            name = m.group(1)
            if name not in ("cnonce", "nonce", "response"):
                return m.group(0)
            text = f"<{name}>"
            if name == "response":
                text = f"<proves password #{proved + 1}>" if proved is not None else "<proves no session password>"
            return f'{name}="{text}"' if m.group(3) is not None else f"{name}={text}"

        return "Digest " + DIGEST_PARAM.sub(replace, value[7:])

    def sealed(self, body):
        """A sealed secret ({"nonce", "iv", "data"}) is made under the
        camera's fresh nonce and a random IV; what is left to compare is its
        place in the body and the length of the secret."""

        def one(m):
            try:
                obj = json.loads(m.group(0))
            except ValueError:
                return m.group(0)
            if not isinstance(obj, dict) or set(obj) != {"nonce", "iv", "data"}:
                return m.group(0)
            self.notes.add('HTTP sealed secrets {"nonce", "iv", "data"} in bodies (camera nonce, random IV, '
                           'hence ciphertext): replaced, keeping the length of the secret')

            def value(v):
                name = v.group(1).decode()
                text = f"<{name}>"
                if name == "data":
                    text = f"<sealed {max(len(v.group(3)) // 2 - 16, 0)} bytes>"
                return b'"' + v.group(1) + b'"' + v.group(2) + b'"' + text.encode() + b'"'

            return SEALED_VALUE.sub(value, m.group(0))

        return SEALED_OBJECT.sub(one, body)

    def request_fields(self, req):
        method = req.line.split(" ")[0]
        fields = [("request line", req.line.encode("latin-1"))]
        seen = {}
        for name, value in req.headers:
            n = seen.get(name.lower(), 0)
            seen[name.lower()] = n + 1
            if name.lower() == "authorization":
                value = self.authorization(method, value)
            fields.append((f"header {name}" + (f" #{n + 1}" if n else ""), value.encode("latin-1")))
        fields.append(("body", self.sealed(req.body)))
        return fields

    def proof(self, frame):
        """For a modify request: the session password its proof is made
        with (HMAC-SHA256 over body bytes 0 to 139)."""
        if frame.kind != 5 or len(frame.raw) < 30 + 172:
            return ""
        body = frame.raw[30:30 + 172]
        for index, password in enumerate(self.passwords):
            if hmac.compare_digest(hmac.new(password.encode(), body[:140], hashlib.sha256).digest(),
                                   body[140:172]):
                return f" proof: password #{index + 1}"
        return " proof: no session password"


def differing(a, b):
    """Offsets at which two equally long byte strings differ."""
    return {i for i, (x, y) in enumerate(zip(a, b)) if x != y}


def request_key(req):
    """A request's method and path without its query."""
    return req.line.split(" HTTP/")[0].split("?")[0]


def multipart_boundary(req):
    for name, value in req.headers:
        if name.lower() == "content-type":
            m = re.search(r'boundary="?([^";]+)"?', value)
            if m:
                return m.group(1)
    return None


def by_group(items):
    """The items of each group (camera or server) in capture order. How the
    command line interleaves its work on several cameras is timing; the order
    of what one camera gets is not."""
    groups = {}
    for item in sorted(items, key=lambda i: i.ts):
        groups.setdefault(item.group(), []).append(item)
    return groups


def rounds(frames):
    return sum(1 for f in frames if f.from_tool and f.kind == 1)


class Noise:
    """What differs between two runs of one build, learned item by item:
    byte offsets per (direction, kind) of the discovery frames; byte offsets
    or whole values per (request, field) of the HTTP requests; the spread of
    the number of search rounds; HTTP groups whose number of requests varies."""

    def __init__(self, norm):
        self.norm = norm
        self.frame_offsets = {}
        self.fields = {}
        self.counts = set()
        self.round_spread = {}
        self.boundaries = False

    def learn(self, action, run1, run2):
        if run1[action]["lost"] or run2[action]["lost"]:
            return  # a lossy capture would teach differences that are not there
        f1, f2 = run1[action]["frames"], run2[action]["frames"]
        spread = abs(rounds(f1) - rounds(f2))
        self.round_spread[action] = max(self.round_spread.get(action, 0), spread)
        g1, g2 = by_group(f1), by_group(f2)
        for group in g1.keys() & g2.keys():
            a, b = g1[group], g2[group]
            if group.startswith("search"):
                # The first round of a command meets the cameras as the
                # previous command left them; later rounds depend on timing.
                pairs = [(a[0], b[0])]
            elif len(a) == len(b):
                pairs = list(zip(a, b))
            else:
                continue
            for x, y in pairs:
                if x.kind == y.kind and len(x.raw) == len(y.raw):
                    self.frame_offsets.setdefault((x.direction, x.kind), set()).update(
                        differing(x.raw, y.raw))
        r1, r2 = by_group(run1[action]["requests"]), by_group(run2[action]["requests"])
        for group in r1.keys() | r2.keys():
            a, b = r1.get(group, []), r2.get(group, [])
            if len(a) != len(b):
                self.counts.add((action, group))
                continue
            for x, y in zip(a, b):
                if request_key(x) != request_key(y):
                    continue
                if multipart_boundary(x) != multipart_boundary(y):
                    self.boundaries = True
                fx, fy = dict(self.norm.request_fields(x)), dict(self.norm.request_fields(y))
                for name in fx.keys() & fy.keys():
                    vx, vy = self.boundary(x, fx[name]), self.boundary(y, fy[name])
                    if vx == vy:
                        continue
                    key = (request_key(x), name)
                    if len(vx) != len(vy):
                        self.fields[key] = None
                    elif self.fields.get(key, set()) is not None:
                        self.fields.setdefault(key, set()).update(differing(vx, vy))

    def boundary(self, req, value):
        """A multipart boundary seen to differ between two runs of one build
        is random: it becomes a placeholder wherever it stands."""
        b = multipart_boundary(req)
        if not self.boundaries or b is None:
            return value
        return value.replace(b.encode("latin-1"), b"<boundary>")

    def mask_frame(self, frame):
        offsets = self.frame_offsets.get((frame.direction, frame.kind), set())
        return [MASKED if i in offsets else b for i, b in enumerate(frame.raw)]

    def frame_key(self, frame):
        return render(self.mask_frame(frame)) + self.norm.proof(frame)

    def mask_request(self, req):
        out = []
        for name, value in self.norm.request_fields(req):
            value = self.boundary(req, value)
            offsets = self.fields.get((request_key(req), name), set())
            if offsets is None:
                out.append((name, [MASKED]))
            else:
                out.append((name, [MASKED if i in offsets else b for i, b in enumerate(value)]))
        return out


# -------------------------------------------------------------- comparing

def render(masked):
    """Masked bytes as hex, a masked byte as '..'."""
    return " ".join(".." if b == MASKED else f"{b:02x}" for b in masked)


def printable(values):
    return "".join("~" if b == MASKED else (chr(b) if 32 <= b < 127 else ".") for b in values)


def first_difference(before, after):
    """(offset, before bytes, after bytes, start) around the first differing byte."""
    n = min(len(before), len(after))
    at = next((i for i in range(n) if before[i] != after[i]), n)
    lo = max(0, at - 8)
    return at, before[lo:at + 24], after[lo:at + 24], lo


def frame_difference(fb, fa, noise):
    if fb is None or fa is None:
        only = fb or fa
        return f"      {only.label()}: {'before' if fb else 'after'} only"
    mb, ma = noise.mask_frame(fb), noise.mask_frame(fa)
    if mb == ma:
        return (f"      {fb.label()}:{noise.norm.proof(fb)} before,{noise.norm.proof(fa)} after")
    at, b, a, lo = first_difference(mb, ma)
    return (f"      {fb.label()}  vs  {fa.label()}: first difference at byte {at} "
            f"({frame_field(fb.kind, at)})\n"
            f"        before [{lo}..]: {render(b)}  {printable(b)!r}\n"
            f"        after  [{lo}..]: {render(a)}  {printable(a)!r}")


def request_difference(rb, ra, noise):
    if rb is None or ra is None:
        only = rb or ra
        return f"      {only.label()}: {'before' if rb else 'after'} only"
    fb, fa = noise.mask_request(rb), noise.mask_request(ra)
    lines = [f"      {rb.label()}" + (f"  vs  {ra.label()}" if rb.label() != ra.label() else "")]
    names_b, names_a = [n for n, _ in fb], [n for n, _ in fa]
    if names_b != names_a:
        lines.append(f"        fields before: {', '.join(names_b)}")
        lines.append(f"        fields after:  {', '.join(names_a)}")
    db, da = dict(fb), dict(fa)
    for name in names_b + [n for n in names_a if n not in db]:
        vb, va = db.get(name, []), da.get(name, [])
        if vb == va:
            continue
        at, b, a, lo = first_difference(vb, va)
        lines.append(f"        {name}: first difference at byte {at}")
        lines.append(f"          before [{lo}..]: {printable(b)!r}  ({render(b)})")
        lines.append(f"          after  [{lo}..]: {printable(a)!r}  ({render(a)})")
        break
    return "\n".join(lines)


def first_mismatch(seq_b, seq_a, keys_b, keys_a):
    """The first pair of differing items of two sequences (None: missing)."""
    matcher = difflib.SequenceMatcher(a=keys_b, b=keys_a, autojunk=False)
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag != "equal":
            return (seq_b[i1] if i1 < i2 else None), (seq_a[j1] if j1 < j2 else None)
    return None


def compare_frames(action, before, after, noise):
    """(verdict, difference texts) for the discovery frames of one action:
    "same", "DIFFERS" (the tool's frames or their number) or "answers" (only
    the cameras' answers, which follow from what earlier actions set)."""
    texts = []
    answers = []
    gb, ga = by_group(before), by_group(after)
    for group in sorted(gb.keys() | ga.keys()):
        b, a = gb.get(group, []), ga.get(group, [])
        kb, ka = [noise.frame_key(f) for f in b], [noise.frame_key(f) for f in a]
        if group.startswith("search cam>tool"):
            # A camera's first answer shows it as the previous command left
            # it; later answers show it before or after this command's
            # changes, as the timing of the rounds falls.
            if kb[:1] != ka[:1]:
                answers.append(frame_difference(b[0] if b else None, a[0] if a else None, noise))
        elif group.startswith("search"):
            # Rounds repeat while the command runs: what counts is which
            # distinct search requests the tool sent, not how often.
            sb, sa = sorted(set(kb)), sorted(set(ka))
            if sb != sa:
                pick_b = [b[kb.index(k)] for k in sb if k not in sa]
                pick_a = [a[ka.index(k)] for k in sa if k not in sb]
                texts.append(frame_difference(pick_b[0] if pick_b else None,
                                              pick_a[0] if pick_a else None, noise))
        elif kb != ka:
            (texts if any(f.from_tool for f in b + a) else answers).append(
                frame_difference(*first_mismatch(b, a, kb, ka), noise))
    rb, ra = rounds(before), rounds(after)
    allowed = max(1, noise.round_spread.get(action, 0))
    if abs(rb - ra) > allowed:
        texts.append(f"      search rounds: {rb} before, {ra} after (more than the {allowed} "
                     f"allowed for timing)")
    if answers:
        # The first camera in detail; the others most often say the same.
        texts.append(answers[0] + (f"\n      ... and the answers of {len(answers) - 1} more camera(s)"
                                   if len(answers) > 1 else ""))
    return ("DIFFERS" if len(texts) > bool(answers) else "answers" if answers else "same"), texts


def compare_requests(action, before, after, noise):
    texts = []
    gb, ga = by_group(before), by_group(after)
    for group in sorted(gb.keys() | ga.keys()):
        b, a = gb.get(group, []), ga.get(group, [])
        kb, ka = [repr(noise.mask_request(r)) for r in b], [repr(noise.mask_request(r)) for r in a]
        if (action, group) in noise.counts:
            # Its number varies between runs of one build: distinct requests.
            if sorted(set(kb)) == sorted(set(ka)):
                continue
        elif kb == ka:
            continue
        texts.append(request_difference(*first_mismatch(b, a, kb, ka), noise))
    return not texts, texts


def ranges(offsets):
    out = []
    for o in sorted(offsets):
        if out and o == out[-1][1] + 1:
            out[-1][1] = o
        else:
            out.append([o, o])
    return out


def compare(args):
    passwords = ["admin"]
    if args and args[0] == "--passwords":
        passwords = args[1].split(",")
        args = args[2:]
    b1, b2, a1, a2 = (load_run(d) for d in args)
    actions = list(b1)
    for run, name in ((b2, "second BEFORE"), (a1, "first AFTER"), (a2, "second AFTER")):
        if list(run) != actions:
            print(f"wire-compare: the {name} run holds other actions: {list(run)}")
            return 2
    norm = Normaliser(passwords)
    noise = Noise(norm)
    for action in actions:
        noise.learn(action, b1, b2)
        noise.learn(action, a1, a2)

    print("\nNormalised (random by design, or seen to differ between two runs of one build):")
    print("  - TCP ports, sequence numbers, retransmissions and timing: each connection's "
          "client bytes are reassembled and parsed as HTTP requests")
    print("  - the interleaving of cameras (worked on in parallel); each camera's own order is kept")
    print("  - discovery search rounds repeat every second while a command runs: per camera the "
          "distinct search requests are compared and each camera's first answer (later answers "
          "show the camera before or after the command's changes, as the rounds fall); the number of "
          "rounds may differ by one, or by as many as between two runs of one build")
    for (direction, kind), offsets in sorted(noise.frame_offsets.items()):
        if offsets:
            parts = [f"{lo}-{hi} ({frame_field(kind, lo)})" if lo != hi else f"{lo} ({frame_field(kind, lo)})"
                     for lo, hi in ranges(offsets)]
            print(f"  - discovery {direction} {KINDS.get(kind, kind)}: bytes {', '.join(parts)}")
    for note in sorted(norm.notes):
        print(f"  - {note}")
    print("  - discovery modify request proof: masked when it varies, and checked against the "
          "session's passwords")
    for (key, field), offsets in sorted(noise.fields.items()):
        what = "whole value" if offsets is None else \
            f"bytes {', '.join(f'{lo}-{hi}' for lo, hi in ranges(offsets))}"
        print(f"  - HTTP {key}: {field}: {what}")
    if noise.boundaries:
        print("  - HTTP multipart boundary")
    for action, group in sorted(noise.counts):
        print(f"  - {action}: the number of requests to {group} varies between runs of one build")

    found = False
    unsure = False
    for name, run in (("BEFORE run 1", b1), ("BEFORE run 2", b2), ("AFTER run 1", a1), ("AFTER run 2", a2)):
        for action in actions:
            if run[action]["lost"]:
                print(f"\nWARNING: {name}, {action}: the capture is incomplete ({run[action]['lost']})")
    for pair, (before, after) in (("run 1", (b1, a1)), ("run 2", (b2, a2))):
        print(f"\nBEFORE vs AFTER, {pair}:")
        print(f"  {'action':<10} {'frames b/a':>11}  {'':<8} {'requests b/a':>12}  {'':<8} exit b/a")
        for action in actions:
            fb, fa = before[action]["frames"], after[action]["frames"]
            rb, ra = before[action]["requests"], after[action]["requests"]
            verdict_f, tf = compare_frames(action, fb, fa, noise)
            same_f = verdict_f == "same"
            same_r, tr = compare_requests(action, rb, ra, noise)
            eb, ea = before[action]["exit"], after[action]["exit"]
            word = lambda same: "same" if same else "DIFFERS"  # noqa: E731
            print(f"  {action:<10} {len(fb):>5}/{len(fa):<5}  {verdict_f:<8} "
                  f"{len(rb):>6}/{len(ra):<5}  {word(same_r):<8} {eb}/{ea}"
                  + ("" if eb == ea else "  DIFFERS"))
            lost = before[action]["lost"] or after[action]["lost"]
            if lost:
                print("      (capture incomplete: not judged)")
            for t in tf + tr:
                print(t)
            differs = not (same_f and same_r and eb == ea)
            if lost:
                unsure |= differs
            else:
                found |= differs
    if found:
        print("\nwire-compare: the builds' wire DIFFERS (\"answers\": only the cameras' answers differ, "
              "as a consequence of what an earlier action set)")
        return 1
    if unsure:
        print("\nwire-compare: differences only where the capture lost packets: measure again")
        return 2
    print("\nwire-compare: the builds' wire is the same (after normalising the above)")
    return 0


# ------------------------------------------------------------------ other

def settle(sock_path, cameras):
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        busy = False
        try:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            s.connect(sock_path)
            s.sendall(b'{"op": "get"}\n')
            answer = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
            s.close()
            state = json.loads(answer)
            busy = any(c.get("rebooting") for c in state["cameras"][:int(cameras)])
        except (OSError, ValueError, KeyError):
            busy = True
        if not busy:
            return 0
        time.sleep(0.2)
    return 1


def show(run_dir):
    for action, data in load_run(run_dir).items():
        print(f"== {action} (exit {data['exit']})")
        for f in canonical(data["frames"]):
            print(f"  {f.ts:.3f} {f.label()} xid {f.raw[22:26].hex()}")
        for r in canonical(data["requests"]):
            print(f"  {r.ts:.3f} {r.label()} body {len(r.body)} B")
            for name, value in r.headers:
                print(f"      {name}: {value}")
            if r.body:
                print(f"      body: {r.body[:200]!r}")


def main(argv):
    if len(argv) >= 3 and argv[0] == "settle":
        return settle(argv[1], argv[2])
    if len(argv) >= 5 and argv[0] == "compare":
        return compare(argv[1:])
    if len(argv) == 2 and argv[0] == "show":
        show(argv[1])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
