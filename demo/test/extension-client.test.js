// The extension route's adaptor against stand-ins for window.BRIXON: when a
// page takes the extension, and the same parsed results as the service's.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const { BrixonExtensionClient, findBrixonExtension } =
  require(path.join(__dirname, '..', 'www', 'brixon-extension-client.js'));

function fakeBrixon(checkBrixon, replies = {}) {
  const calls = [];
  const brixon = { route: 'extension', calls };
  Object.defineProperty(brixon, 'CheckBRIXON', { get: checkBrixon });
  for (const member of ['CheckConnection', 'CheckCard', 'GetResponse', 'GetMode1Response',
    'GetMode2Response', 'DisplayResult', 'Cancel']) {
    brixon[member] = (...args) => {
      calls.push([member, ...args]);
      const reply = replies[member];
      return reply instanceof Error ? Promise.reject(reply) : Promise.resolve(reply);
    };
  }
  return brixon;
}

test('the extension is taken only when present and its connector answers', async () => {
  const cases = [
    ['no object', {}, false],
    ['another object of that name', { BRIXON: { route: 'plugin' } }, false],
    ['connector not installed', { BRIXON: fakeBrixon(() => Promise.resolve(0)) }, false],
    ['extension failing', { BRIXON: fakeBrixon(() => Promise.reject(new Error('x'))) }, false],
    ['ready', { BRIXON: fakeBrixon(() => Promise.resolve(1)) }, true],
  ];
  for (const [name, scope, taken] of cases) {
    const found = await findBrixonExtension(scope);
    assert.strictEqual(found !== null, taken, name);
    if (taken) assert.strictEqual(found, scope.BRIXON, name);
  }
});

test('members get their arguments as text and their replies are parsed', async () => {
  const brixon = fakeBrixon(() => Promise.resolve(1), {
    GetMode1Response: 'Status=0\nStatusDescription=Success\nResponse=00AB',
    DisplayResult: 'Status=12\nStatusDescription=Input error',
    Cancel: undefined,
  });
  const trace = [];
  const client = new BrixonExtensionClient(brixon, { onTrace: (e) => trace.push(e) });

  const mode1 = await client.getMode1Response('12345678', '0978', '000000012345');
  assert.deepStrictEqual({ ...mode1 }, { Status: 0, StatusDescription: 'Success', Response: '00AB' });
  assert.strictEqual(mode1.text, 'Status=0\nStatusDescription=Success\nResponse=00AB');

  const display = await client.displayResult(6, '', 'nl');
  assert.strictEqual(display.Status, 12);
  assert.deepStrictEqual(brixon.calls[1], ['DisplayResult', '6', '', 'nl']);

  const cancel = await client.cancel();
  assert.deepStrictEqual({ ...cancel }, {});
  assert.strictEqual(cancel.text, '');

  assert.deepStrictEqual(trace.map((e) => e.direction), ['>', '<', '>', '<', '>', '<']);
  assert.strictEqual(trace[0].text, 'GetMode1Response("12345678", "0978", "000000012345")');
});

test('a failing member rejects', async () => {
  const client = new BrixonExtensionClient(fakeBrixon(() => Promise.resolve(1), {
    CheckCard: new Error('BRIXON: The connector ended the connection: it ended'),
  }));
  await assert.rejects(client.checkCard('en'), /connector ended/);
});
