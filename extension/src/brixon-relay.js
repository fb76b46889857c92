// The relay between the bank's page and the extension's service worker
// (the extension's own script world, same pages as brixon-page.js). It opens
// one port to the service worker for this tab on the first request.
(() => {
  'use strict';
  const api = globalThis.browser || globalThis.chrome;
  const channel = 'brixon-extension';
  const origin = window.location.origin;
  let port = null;
  const waiting = new Set();  // ids sent and not yet answered

  function toPage(message) {
    window.postMessage({channel, direction: 'to-page', message}, origin);
  }

  function connect() {
    port = api.runtime.connect({name: 'brixon'});
    port.onMessage.addListener((message) => {
      waiting.delete(message.id);
      toPage(message);
    });
    port.onDisconnect.addListener(() => {
      // The service worker went away: what was asked of it has no answer.
      port = null;
      for (const id of waiting) toPage({id, Error: 'The extension ended the connection.'});
      waiting.clear();
    });
  }

  window.addEventListener('message', (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.channel !== channel ||
        data.direction !== 'to-extension' || typeof data.message !== 'object') {
      return;
    }
    if (!port) connect();
    waiting.add(data.message.id);
    port.postMessage(data.message);
  });
})();
