#!/usr/bin/env python3
"""An independent client of the camera's device API, written from
docs/device-api.md with Python's standard library (and python3-cryptography
for sealed secrets): Digest with urllib's handler and by hand, the refusal
bodies, and a sealed password change that cannot be replayed.

Usage: digest_client.py HOST PASSWORD NONCE_LIFETIME_MS
"""
import hashlib
import json
import os
import socket
import sys
import time
import urllib.error
import urllib.request

HOST, PASSWORD, LIFETIME_MS = sys.argv[1], sys.argv[2], int(sys.argv[3])
BASE = f"http://{HOST}"
REALM = "Orvantix Camera"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def request(method, path, headers=None, body=None):
    """One request without any authentication handler: (status, headers, body)."""
    req = urllib.request.Request(BASE + path, data=body, method=method, headers=headers or {})
    try:
        with urllib.request.urlopen(req, timeout=5) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def challenges(headers):
    out = []
    for value in headers.get_all("WWW-Authenticate") or []:
        scheme, _, rest = value.partition(" ")
        params = {}
        for part in rest.split(","):
            key, _, val = part.strip().partition("=")
            params[key.lower()] = val.strip('"')
        out.append((scheme, params))
    return out


def authorization(method, uri, nonce, nc, algorithm="MD5", scheme="Digest", password=PASSWORD):
    h = hashlib.sha256 if algorithm == "SHA-256" else hashlib.md5
    hx = lambda text: h(text.encode()).hexdigest()
    cnonce = os.urandom(8).hex()
    ha1 = hx(f"admin:{REALM}:{password}")
    response = hx(f"{ha1}:{nonce}:{nc:08x}:{cnonce}:auth:{hx(f'{method}:{uri}')}")
    return (f'{scheme} username="admin", realm="{REALM}", nonce="{nonce}", uri="{uri}", '
            f'algorithm={algorithm}, qop=auth, nc={nc:08x}, cnonce="{cnonce}", '
            f'response="{response}"')


def fresh_nonce():
    status, headers, _ = request("GET", "/api/v1/device")
    return status, headers, challenges(headers)


# urllib's own Digest handler (MD5, reads the first challenge only).
manager = urllib.request.HTTPPasswordMgrWithDefaultRealm()
manager.add_password(None, BASE, "admin", PASSWORD)
opener = urllib.request.build_opener(urllib.request.HTTPDigestAuthHandler(manager))
with opener.open(BASE + "/api/v1/device", timeout=5) as answer:
    check(answer.status == 200 and "model" in json.load(answer), "urllib digest handler logs in")

status, headers, offered = fresh_nonce()
schemes = [(s, p.get("algorithm"), p.get("qop")) for s, p in offered]
check(status == 401 and schemes == [("Digest", "MD5", "auth"), ("Digest", "SHA-256", "auth")],
      f"challenge offers MD5 then SHA-256 with qop=auth: {schemes}")
nonce = offered[0][1]["nonce"]

path = "/api/v1/device"
sha = authorization("GET", path, nonce, 1, "SHA-256", "digest")
check(request("GET", path, {"Authorization": sha})[0] == 200, "SHA-256 with a lower-case scheme")
status, headers, _ = request("GET", path, {"Authorization": sha})
stale = [p.get("stale") for _, p in challenges(headers)]
check(status == 401 and "true" not in stale, "the same nonce count again is refused, not stale")
check(request("GET", path, {"Authorization": authorization("GET", path, nonce, 2, "MD5", "DIGEST")})[0]
      == 200, "MD5 with the next count and an upper-case scheme")
check(request("GET", path, {"Authorization": authorization("GET", path, nonce, 3, password="guess")})[0]
      == 401, "a wrong password is refused")

time.sleep(LIFETIME_MS / 1000 + 0.3)
old = authorization("GET", path, nonce, 4)
status, headers, _ = request("GET", path, {"Authorization": old})
check(status == 401 and all(p.get("stale") == "true" for _, p in challenges(headers)),
      "an aged nonce is answered stale=true")


class Watching(urllib.request.HTTPDigestAuthHandler):
    stale_seen = False

    def http_error_401(self, req, fp, code, msg, headers):
        Watching.stale_seen |= "stale=true" in (headers.get("WWW-Authenticate") or "")
        return super().http_error_401(req, fp, code, msg, headers)


watching = urllib.request.build_opener(Watching(manager))
with watching.open(urllib.request.Request(BASE + path, headers={"Authorization": old}),
                   timeout=5) as answer:
    check(answer.status == 200 and Watching.stale_seen,
          "urllib retries after stale=true and gets in")

# Refusals carry {"error": ...}.
status, _, nonce = fresh_nonce()
nonce = nonce[0][1]["nonce"]
status, headers, body = request("GET", "/api/v1/nothing")
check(status == 404 and "error" in json.loads(body), "unknown path: 404 with an error body")
status, headers, body = request("DELETE", "/api/v1/device")
check(status == 405 and "error" in json.loads(body) and headers.get("Allow") == "GET",
      "wrong method: 405 with Allow and an error body")

upload = "/api/v1/system/oem?name=cut.bin"
# The client stops sending but keeps its side open, as one that hung: the
# camera gives up after its read timeout (5 s) and says why.
with socket.create_connection((HOST, 80), timeout=10) as raw:
    raw.sendall((f"PUT {upload} HTTP/1.1\r\nHost: {HOST}\r\n"
                 f"Authorization: {authorization('PUT', upload, nonce, 1)}\r\n"
                 "Content-Type: application/octet-stream\r\nContent-Length: 1000\r\n\r\n"
                 + "x" * 10).encode())
    answer = b""
    while chunk := raw.recv(4096):
        answer += chunk
head, _, body = answer.partition(b"\r\n\r\n")
check(head.startswith(b"HTTP/1.1 400") and "error" in json.loads(body),
      "an upload cut short: 400 with an error body")

# A sealed password change; the same sealed body a second time is refused
# even under a fresh Digest answer, because its nonce was single-use.
try:
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives.ciphers.aead import AESGCM
    from cryptography.hazmat.primitives.kdf.hkdf import HKDF
except ImportError:
    print("skip sealed secrets: python3-cryptography missing")
    sys.exit(1 if failures else 0)


nonce = fresh_nonce()[2][0][1]["nonce"]  # the one above aged while the camera waited


def auth_for(method, uri, count=[0]):
    count[0] += 1
    return {"Authorization": authorization(method, uri, nonce, count[0])}


def sealed(secret, purpose, password):
    status, _, body = request("POST", "/api/v1/system/nonce", auth_for("POST", "/api/v1/system/nonce"),
                              b"{}")
    seal_nonce = json.loads(body)["nonce"]
    key = HKDF(hashes.SHA256(), 32, seal_nonce.encode(), f"orvantix seal {purpose}".encode()
               ).derive(f"admin:{REALM}:{password}".encode())
    iv = os.urandom(12)
    data = AESGCM(key).encrypt(iv, secret.encode(), purpose.encode())
    return {"nonce": seal_nonce, "iv": iv.hex(), "data": data.hex()}


change = json.dumps({"user": "admin", "password": sealed(PASSWORD, "password.set", PASSWORD)}).encode()
json_type = {"Content-Type": "application/json"}
pw = "/api/v1/system/password"
check(request("PUT", pw, {**auth_for("PUT", pw), **json_type}, change)[0] == 200,
      "a sealed password change is taken")
check(request("PUT", pw, {**auth_for("PUT", pw), **json_type}, change)[0] == 409,
      "the same sealed body again is refused (single-use nonce)")
clear = json.dumps({"user": "admin", "password": PASSWORD}).encode()
check(request("PUT", pw, {**auth_for("PUT", pw), **json_type}, clear)[0] == 400,
      "a password in clear is refused")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
