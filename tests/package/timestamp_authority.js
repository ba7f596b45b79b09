// A test time-stamp authority on loopback (RFC 3161 over HTTP, answered by
// `openssl ts -reply`), for the package test's timestamped signing:
//   timestamp_authority.js DIR    makes DIR/tsa.pem (its certificate) and
//                                 prints its URL once it listens
// It ends by itself after ten minutes, or when killed.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { execFileSync } = require('child_process');

const dir = path.resolve(process.argv[2]);
fs.mkdirSync(dir, { recursive: true });
const file = (name) => path.join(dir, name);
execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '30', '-sha256',
    '-keyout', file('tsa.key'), '-out', file('tsa.pem'), '-subj', '/CN=MivoDetector TEST time-stamp authority',
    '-addext', 'extendedKeyUsage=critical,timeStamping', '-addext', 'keyUsage=critical,digitalSignature'], { stdio: 'ignore' });
fs.writeFileSync(file('serial'), '01\n');
fs.writeFileSync(file('tsa.cnf'), `[tsa]
default_tsa = test
[test]
serial = ${file('serial')}
signer_cert = ${file('tsa.pem')}
signer_key = ${file('tsa.key')}
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
`);

let served = 0;
http.createServer((request, response) => {
    const body = [];
    request.on('data', (chunk) => body.push(chunk));
    request.on('end', () => {
        const query = file(`query-${++served}`), reply = `${query}.reply`;
        try {
            fs.writeFileSync(query, Buffer.concat(body));
            execFileSync('openssl', ['ts', '-reply', '-config', file('tsa.cnf'), '-queryfile', query, '-out', reply], { stdio: 'ignore' });
            response.writeHead(200, { 'Content-Type': 'application/timestamp-reply' });
            response.end(fs.readFileSync(reply));
        } catch (error) {
            response.writeHead(500);
            response.end();
        }
    });
}).listen(0, '127.0.0.1', function listening() {
    console.log(`http://127.0.0.1:${this.address().port}/`);
});
setTimeout(() => process.exit(0), 600e3);
