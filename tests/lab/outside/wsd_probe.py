#!/usr/bin/env python3
"""A plain UDP receiver for WS-Discovery: sends one Probe to 239.255.255.250:3702
and counts the ProbeMatch datagrams that come back to its own port, with
their arrival times. Prints one JSON object. Written for the lab only.

    wsd_probe.py [--types 'dn:NetworkVideoTransmitter'] [--wait-ms 1500]
"""
import argparse, json, re, socket, time, uuid

parser = argparse.ArgumentParser()
parser.add_argument('--types', default='dn:NetworkVideoTransmitter')
parser.add_argument('--wait-ms', type=int, default=1500)
parser.add_argument('--to', default='239.255.255.250')
args = parser.parse_args()

message_id = 'urn:uuid:' + str(uuid.uuid4())
probe = ('<?xml version="1.0" encoding="UTF-8"?>'
         '<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope" '
         'xmlns:w="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
         'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
         'xmlns:dn="http://www.onvif.org/ver10/network/wsdl">'
         '<e:Header><w:MessageID>%s</w:MessageID>'
         '<w:To e:mustUnderstand="true">urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To>'
         '<w:Action e:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</w:Action>'
         '</e:Header><e:Body><d:Probe><d:Types>%s</d:Types></d:Probe></e:Body></e:Envelope>'
         % (message_id, args.types))

s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
s.bind(('0.0.0.0', 0))
sent = time.monotonic()
s.sendto(probe.encode(), (args.to, 3702))
arrivals, related, addrs, sources = [], 0, {}, set()
end = sent + args.wait_ms / 1000.0
while True:
    left = end - time.monotonic()
    if left <= 0:
        break
    s.settimeout(left)
    try:
        data, peer = s.recvfrom(65536)
    except socket.timeout:
        break
    text = data.decode('utf-8', 'replace')
    if 'ProbeMatches' not in text:
        continue
    arrivals.append((time.monotonic() - sent) * 1000.0)
    sources.add(peer[0])
    m = re.search(r'<(?:\w+:)?RelatesTo>([^<]*)<', text)
    related += 1 if m and m.group(1) == message_id else 0
    x = re.search(r'<(?:\w+:)?XAddrs>([^<]*)<', text)
    first = x.group(1).split()[0] if x else ''
    addrs[first] = addrs.get(first, 0) + 1
span = (max(arrivals) - min(arrivals)) if arrivals else 0.0
print(json.dumps({
    'answers': len(arrivals), 'related': related, 'sources': len(sources),
    'distinct_xaddrs': len(addrs), 'max_copies': max(addrs.values()) if addrs else 0,
    'first_ms': round(min(arrivals), 1) if arrivals else None,
    'last_ms': round(max(arrivals), 1) if arrivals else None,
    'rate_per_s': round(len(arrivals) / (span / 1000.0), 1) if span > 0 else None,
    'xaddrs': sorted(addrs)[:8]}))
