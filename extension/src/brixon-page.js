// The BRIXON object in the bank's page (the page's own script world). It has
// the plug-in's eight members; each returns a promise of what the plug-in's
// member returns: the command's result text, CheckBRIXON 1 (0 when the
// connector is not installed), Cancel nothing. The requests go to the
// extension's relay in this tab, which hands them to the connector.
(() => {
  'use strict';
  // The extension's content script rules admit only https pages of the
  // bank's domains; a page with a user name or password in its address is
  // refused as the plug-in's site lock refuses it.
  if (window.location.protocol !== 'https:' || window.location.username ||
      window.location.password || window.BRIXON) {
    return;
  }
  const channel = 'brixon-extension';
  const origin = window.location.origin;
  // Taken now, before any of the page's own script runs and could replace it.
  const post = window.postMessage.bind(window);
  let nextId = 1;
  const pending = new Map();   // id -> {resolve, reject}
  const queue = [];            // commands waiting for the one that runs
  let running = false;

  window.addEventListener('message', (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.channel !== channel ||
        data.direction !== 'to-page') {
      return;
    }
    const reply = data.message || {};
    const waiter = pending.get(reply.id);
    if (!waiter) return;
    pending.delete(reply.id);
    if ('Result' in reply) waiter.resolve(reply.Result);
    else if ('Check' in reply) waiter.resolve(reply.Check);
    else waiter.reject(new Error('BRIXON: ' + (reply.Error || 'no answer')));
  });

  function send(message) {
    return new Promise((resolve, reject) => {
      const id = nextId++;
      pending.set(id, {resolve, reject});
      post({channel, direction: 'to-extension', message: {...message, id}}, origin);
    });
  }

  // One command at a time, as the plug-in's calls are; Cancel and
  // CheckBRIXON go at once, beside a command that waits.
  function command(name, params) {
    return new Promise((resolve, reject) => {
      queue.push({name, params, resolve, reject});
      pump();
    });
  }
  function pump() {
    if (running || queue.length === 0) return;
    running = true;
    const next = queue.shift();
    send({Name: next.name, Params: next.params}).then(next.resolve, next.reject).finally(() => {
      running = false;
      pump();
    });
  }

  // Every parameter goes as text, as the plug-in's string parameters do; a
  // missing one is the caller's mistake, as with the plug-in.
  function member(memberName, name, count) {
    return function(...args) {
      if (args.length !== count) {
        return Promise.reject(new TypeError(
            'BRIXON.' + memberName + ' takes ' + count + ' argument' + (count === 1 ? '' : 's') +
            ', not ' + args.length));
      }
      if (args.some((a) => a === undefined || a === null)) {
        return Promise.reject(new TypeError('BRIXON.' + memberName + ': an argument is missing'));
      }
      return command(name, args.map(String));
    };
  }

  const brixon = Object.create(null);
  const members = {
    CheckConnection: member('CheckConnection', 1, 0),
    CheckCard: member('CheckCard', 2, 1),
    GetResponse: member('GetResponse', 3, 2),
    GetMode1Response: member('GetMode1Response', 4, 3),
    GetMode2Response: member('GetMode2Response', 5, 0),
    DisplayResult: member('DisplayResult', 6, 3),
    Cancel: () => send({Name: 7, Params: []}).then(() => undefined),
  };
  for (const [key, value] of Object.entries(members)) {
    Object.defineProperty(brixon, key, {value, enumerable: true});
  }
  // A property, as on the plug-in.
  Object.defineProperty(brixon, 'CheckBRIXON', {get: () => send({Check: true}), enumerable: true});
  Object.defineProperty(brixon, 'route', {value: 'extension', enumerable: true});
  Object.defineProperty(window, 'BRIXON', {value: Object.freeze(brixon), enumerable: false});
})();
