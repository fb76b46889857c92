// The extension's service worker: one native port to the connector host
// (brixonnm) per tab, opened on the tab's first request and closed when the
// tab's port closes (the tab closed or navigated), which ends the host and
// cancels whatever it still waits for on the device.
'use strict';
const api = globalThis.browser || globalThis.chrome;
const kHost = 'meridel.quorvex2.brixon';
// The keys each command's result text has, for the status-13 answer when
// the connector is not installed.
const kResultKeys = {
  1: ['Device_Version', 'Driver_Version', 'BRIXON_Version'],
  2: ['CardId_PAN', 'CardId_PSN'],
  3: ['Response'],
  4: ['Response'],
  5: ['Response'],
  6: [],
  7: null,  // Cancel: the empty text
};

function NotInstalled(name) {
  const keys = kResultKeys[name];
  if (keys === null) return '';
  return ['Status=13', 'StatusDescription=BRIXON not installed', ...(keys || []).map((k) => k + '=')]
      .join('\n');
}

api.runtime.onConnect.addListener((page) => {
  if (page.name !== 'brixon' || !page.sender || !page.sender.tab) {
    page.disconnect();
    return;
  }
  let native = null;
  let ready = false;
  const requests = new Map();  // id -> Name, sent to the host and not answered
  const checks = [];           // CheckBRIXON ids waiting for the host's Ready

  function answer(message) {
    try {
      page.postMessage(message);
    } catch (e) {
      // The tab has gone; its port's disconnect closes the host.
    }
  }

  function open() {
    native = api.runtime.connectNative(kHost);
    native.onMessage.addListener((message) => {
      if ('Ready' in message) {
        ready = true;
        for (const id of checks.splice(0)) answer({id, Check: 1});
        return;
      }
      requests.delete(message.id);
      answer(message);
    });
    native.onDisconnect.addListener(() => {
      const why = (api.runtime.lastError && api.runtime.lastError.message) || 'it ended';
      native = null;
      // Never ready: the host could not be started, which the page learns as
      // the plug-in's "BRIXON not installed".
      for (const [id, name] of requests) {
        answer(ready ? {id, Error: 'The connector ended the connection: ' + why} :
                       {id, Result: NotInstalled(name)});
      }
      for (const id of checks.splice(0)) answer({id, Check: 0});
      requests.clear();
      ready = false;
    });
  }

  page.onMessage.addListener((message) => {
    if (!message || typeof message !== 'object') return;
    if (!native) open();
    if (message.Check) {
      if (ready) answer({id: message.id, Check: 1});
      else checks.push(message.id);
      return;
    }
    requests.set(message.id, message.Name);
    native.postMessage({id: message.id, Name: message.Name, Params: message.Params});
  });

  page.onDisconnect.addListener(() => {
    if (native) native.disconnect();
    native = null;
  });
});
