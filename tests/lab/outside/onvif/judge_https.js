// npm `onvif` over HTTPS against the simulator in the lab. The client trusts
// exactly the certificate the simulator says the camera holds (its control
// channel), and checks the key's pin on every connection, as a client that
// pinned a camera does; the simulator's state judges what the calls did.
//
//   node judge_https.js     (inside scripts/lab; ORVLAB_CONTROL set)
'use strict';
const crypto = require('crypto');
const net = require('net');
const onvif = require('onvif');

const password = process.env.JUDGE_PASSWORD || 's3cret';
let failures = 0;
function check(what, ok, detail) {
  console.log((ok ? 'ok   ' : 'FAIL ') + what + (ok || detail === undefined ? '' : ' (' + detail + ')'));
  if (!ok) failures++;
}
const p = (fn) => new Promise((resolve, reject) => fn((err, data, xml) => (err ? reject(Object.assign(err, { xml })) : resolve(data))));

function state(number) {
  return new Promise((resolve, reject) => {
    const socket = net.createConnection(process.env.ORVLAB_CONTROL);
    let text = '';
    socket.on('connect', () => socket.write(JSON.stringify({ op: 'get', camera: number }) + '\n'));
    socket.on('data', (d) => (text += d));
    socket.on('end', () => resolve(JSON.parse(text).camera));
    socket.on('error', reject);
  });
}

// TLS options that trust `trusted` (a camera's record) alone: its
// certificate as the only authority, its key's pin checked; the name is the
// MAC, not the address, so the pin stands in for the name check.
function trusting(trusted) {
  return {
    ca: [trusted.deviceConfig.tls.cert],
    checkServerIdentity: (host, cert) => {
      // The pin is of the SubjectPublicKeyInfo (cert.pubkey of an EC key is
      // the bare point).
      const spki = new crypto.X509Certificate(cert.raw).publicKey.export({ type: 'spki', format: 'der' });
      const pin = 'sha256//' + crypto.createHash('sha256').update(spki).digest('base64');
      return pin === trusted.tlsPin ? undefined : new Error('key pin ' + pin + ' is not ' + trusted.tlsPin);
    },
  };
}

const connect = (hostname, port, pw, trusted) => new Promise((resolve, reject) => {
  const cam = new onvif.Cam({ hostname, port, username: 'admin', password: pw, timeout: 5000,
    useSecure: true, secureOpts: trusting(trusted) }, (err) => (err ? reject(err) : resolve(cam)));
});

async function main() {
  const first = await state(1);
  const second = await state(2);
  const other = await state(3);
  let cam = await connect('192.0.2.10', first.tlsPort, password, first);
  const info = await p((cb) => cam.getDeviceInformation(cb));
  check('onvif over https: device information is the camera\'s (UsernameToken on the TLS port)',
    info.model === first.model && info.serialNumber === first.mac.replace(/:/g, '').toUpperCase(), JSON.stringify(info));
  const caps = await p((cb) => cam.getCapabilities(cb));
  check('onvif over https: asked over HTTPS, the capabilities name https addresses on the TLS port',
    caps.device.XAddr === 'https://192.0.2.10:' + first.tlsPort + '/onvif/device_service' &&
    caps.media.XAddr.startsWith('https://192.0.2.10:' + first.tlsPort + '/'), JSON.stringify([caps.device.XAddr, caps.media.XAddr]));
  const protocols = await p((cb) => cam.getNetworkProtocols(cb));
  const byName = {};
  for (const n of [].concat(protocols.networkProtocols || protocols)) byName[n.name] = [String(n.enabled), ...[].concat(n.port).map(Number)];
  check('onvif over https: GetNetworkProtocols reports HTTPS on the TLS port',
    JSON.stringify(byName.HTTPS) === JSON.stringify(['true', first.tlsPort]), JSON.stringify(byName));
  const uri = (await p((cb) => cam.getStreamUri({ protocol: 'RTSP' }, cb))).uri;
  check('onvif over https: the stream URI is the camera\'s RTSP stream',
    uri === 'rtsp://192.0.2.10:' + first.deviceConfig.ports.rtsp1 + '/stream1', uri);

  // A change over HTTPS, seen in the camera's state.
  await p((cb) => cam.setImagingSettings({ brightness: 42 }, cb));
  check('onvif over https: SetImagingSettings reaches the picture record', (await state(1)).deviceConfig.picture.brightness === 42);
  await p((cb) => cam.setScopes(['onvif://www.onvif.org/name/Gate%20TLS'], cb));
  check('onvif over https: SetScopes names the camera (the maker\'s device name)', (await state(1)).name === 'Gate TLS');

  let refused = '';
  try { const bad = await connect('192.0.2.10', first.tlsPort, 'guess', first); await p((cb) => bad.getDeviceInformation(cb)); } catch (e) { refused = String(e.message) + ' ' + (e.xml || ''); }
  check('onvif over https: a wrong password gets NotAuthorized', /NotAuthorized/.test(refused), refused.slice(0, 160));

  // Trusting another camera's certificate, the client refuses this one.
  let mistrust = '';
  try { await connect('192.0.2.10', first.tlsPort, password, second); mistrust = 'connected'; } catch (e) { mistrust = String(e.code || e.message); }
  check('onvif over https: a client that trusts camera 2 refuses camera 1 (each its own key)', mistrust !== 'connected', mistrust);

  // Another maker's camera on its model's TLS port.
  cam = await connect('192.0.2.12', other.tlsPort, password, other);
  const otherInfo = await p((cb) => cam.getDeviceInformation(cb));
  check('onvif over https: another maker\'s camera on its own TLS port (' + other.tlsPort + ')',
    otherInfo.manufacturer === 'Lumora' && otherInfo.model === other.model, JSON.stringify(otherInfo));

  // Reboot over HTTPS: silent, then back with the same key.
  await p((cb) => cam.systemReboot(cb));
  const rebooting = (await state(3)).rebooting;
  let during = 'answered';
  try { await connect('192.0.2.12', other.tlsPort, password, other); } catch (e) { during = 'silent'; }
  await new Promise((r) => setTimeout(r, 1800));
  let after = 'silent';
  try { const c = await connect('192.0.2.12', other.tlsPort, password, other); await p((cb) => c.getDeviceInformation(cb)); after = 'answers'; } catch (e) { after = String(e.message); }
  check('onvif over https: SystemReboot silences the camera, which comes back',
    rebooting === true && during === 'silent' && after === 'answers', rebooting + ' ' + during + ' ' + after);
}

main().catch((e) => { check('onvif over https: no unexpected error', false, String(e.stack || e).slice(0, 400)); })
  .finally(() => { console.log(failures + ' failed'); process.exit(failures ? 1 : 0); });
