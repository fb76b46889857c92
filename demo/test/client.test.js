// The client script's own logic against a scripted WebSocket: which port it
// keeps, the one-at-a-time rule, Cancel beside a waiting command, closes.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const { BrixwssvrClient, BrixwssvrError, parseResult } =
  require(path.join(__dirname, '..', 'www', 'brixwssvr-client.js'));

// A stand-in service: ports in `open` accept, the rest close with 1006; the
// test answers what was sent through reply() and close().
function fakeService(open) {
  const service = { sockets: [], sent: [], attempts: [] };
  class FakeSocket {
    constructor(url) {
      this.url = url;
      this.readyState = 0;
      const port = Number(new URL(url).port);
      service.attempts.push(port);
      setImmediate(() => {
        if (open.includes(port)) {
          this.readyState = 1;
          service.sockets.push(this);
          this.onopen();
        } else {
          this.readyState = 3;
          this.onclose({ code: 1006, reason: '' });
        }
      });
    }
    send(text) { service.sent.push(JSON.parse(text)); }
    close(code) { this.serverClose(code || 1000, ''); }
    serverClose(code, reason) {
      if (this.readyState === 3) return;
      this.readyState = 3;
      setImmediate(() => this.onclose({ code, reason }));
    }
  }
  service.WebSocket = FakeSocket;
  service.reply = (text) => service.sockets[service.sockets.length - 1].onmessage({ data: text });
  service.close = (code) => service.sockets[service.sockets.length - 1].serverClose(code, '');
  return service;
}

const tick = () => new Promise((resolve) => setImmediate(resolve));
async function until(condition) {
  for (let i = 0; i < 100 && !condition(); i++) await tick();
  assert.ok(condition(), 'condition never held');
}

test('result texts become objects', () => {
  const cases = [
    ['Status=0\nStatusDescription=Success\nCardId_PAN=0054127512', {
      Status: 0, StatusDescription: 'Success', CardId_PAN: '0054127512' }],
    ['Status=12\nStatusDescription=Input error', { Status: 12, StatusDescription: 'Input error' }],
    ['Status=0\nStatusDescription=Success\nLastLogon=a=b\nEmpty=', {
      Status: 0, StatusDescription: 'Success', LastLogon: 'a=b', Empty: '' }],
    ['', {}],
  ];
  for (const [text, expected] of cases) assert.deepStrictEqual(parseResult(text), expected, text);
});

test('tries the ports in order and keeps the first that opens', async () => {
  const service = fakeService([9043]);
  const client = new BrixwssvrClient({ WebSocket: service.WebSocket });
  const reply = client.checkConnection();
  await until(() => service.sent.length === 1);
  assert.deepStrictEqual(service.attempts, [9041, 9042, 9043]);
  assert.deepStrictEqual(service.sent[0], { Name: 1, Params: [] });
  service.reply('Status=0\nStatusDescription=Success\nDevice_Version=01.20');
  assert.strictEqual((await reply).Device_Version, '01.20');
  assert.strictEqual(client.port, 9043);
});

test('no port opens: one error that names every port tried', async () => {
  const service = fakeService([]);
  const client = new BrixwssvrClient({ WebSocket: service.WebSocket, ports: [1, 2] });
  await assert.rejects(client.checkCard('nl'), (error) =>
    error instanceof BrixwssvrError && error.kind === 'unreachable' &&
    /ports 1 \(closed 1006\), 2 \(closed 1006\)/.test(error.message));
});

test('a second request waits for the first reply; replies go to their requests', async () => {
  const service = fakeService([9041]);
  const client = new BrixwssvrClient({ WebSocket: service.WebSocket });
  const first = client.checkCard('nl');
  const second = client.getMode1Response('12345678', '0978', '000000012345');
  await until(() => service.sent.length === 1);
  await tick();
  assert.strictEqual(service.sent.length, 1, 'the second request left before the first reply');
  service.reply('Status=0\nStatusDescription=Success\nCardId_PSN=01');
  await until(() => service.sent.length === 2);
  assert.deepStrictEqual(service.sent[1], { Name: 4, Params: ['12345678', '0978', '000000012345'] });
  service.reply('Status=0\nStatusDescription=Success\nResponse=C33B1CFA14438D8A');
  assert.strictEqual((await first).CardId_PSN, '01');
  assert.strictEqual((await second).Response, 'C33B1CFA14438D8A');
});

test('cancel goes out at once and its empty reply is told apart, in either order', async () => {
  for (const cancelReplyFirst of [true, false]) {
    const service = fakeService([9041]);
    const client = new BrixwssvrClient({ WebSocket: service.WebSocket });
    const waiting = client.getMode2Response();
    await until(() => service.sent.length === 1);
    const cancelled = client.cancel();
    await until(() => service.sent.length === 2);
    assert.deepStrictEqual(service.sent[1], { Name: 7, Params: [] });
    const replies = ['', 'Status=15\nStatusDescription=Cancel by other session\nResponse='];
    if (!cancelReplyFirst) replies.reverse();
    replies.forEach(service.reply);
    assert.deepStrictEqual(await cancelled, {});
    assert.strictEqual((await waiting).Status, 15);
  }
});

test('close 1007 fails the request as invalid; the next request connects again', async () => {
  const service = fakeService([9041]);
  const client = new BrixwssvrClient({ WebSocket: service.WebSocket });
  const refused = client.request(9, []);
  await until(() => service.sent.length === 1);
  service.close(1007);
  await assert.rejects(refused, (error) => error.kind === 'invalid' && error.code === 1007);
  const next = client.checkConnection();
  await until(() => service.sent.length === 2);
  assert.strictEqual(service.sockets.length, 2);
  service.reply('Status=2\nStatusDescription=Device not connected');
  assert.strictEqual((await next).Status, 2);
});
