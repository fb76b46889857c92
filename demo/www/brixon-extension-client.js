/*
 * The BRIXON extension's object (window.BRIXON) behind the methods of
 * BrixwssvrClient, so a page runs the same code on either route.
 *
 *   const brixon = await findBrixonExtension();   // the object, or null
 *   if (brixon) client = new BrixonExtensionClient(brixon, {onTrace});
 *
 * Load after brixwssvr-client.js (it takes parseResult from there).
 */
(function (global) {
  'use strict';

  const parseResult = global.parseResult ||
      (typeof require === 'function' && require('./brixwssvr-client.js').parseResult);

  /**
   * The extension's object when this page may use it: present (the
   * extension runs and admits the page) and its connector answers
   * (CheckBRIXON gives 1 once the native host has started). Null otherwise.
   */
  async function findBrixonExtension(scope = global) {
    const brixon = scope.BRIXON;
    if (!brixon || brixon.route !== 'extension') return null;
    try {
      return (await brixon.CheckBRIXON) === 1 ? brixon : null;
    } catch (error) {
      return null;
    }
  }

  class BrixonExtensionClient {
    constructor(brixon, options = {}) {
      this.brixon = brixon;
      this.onTrace = options.onTrace || (() => {});
      this.route = 'extension';
    }

    // The member's result text parsed as BrixwssvrClient's are; a failure
    // of the extension or its connector rejects.
    async call(member, args) {
      const texts = args.map(String);
      this.onTrace({ direction: '>', text: member + '(' + texts.map((t) => JSON.stringify(t)).join(', ') + ')' });
      const reply = await this.brixon[member](...texts);
      const text = reply === undefined ? '' : reply;
      this.onTrace({ direction: '<', text });
      const result = parseResult(text);
      Object.defineProperty(result, 'text', { value: text, enumerable: false });
      return result;
    }

    checkConnection() { return this.call('CheckConnection', []); }
    checkCard(language) { return this.call('CheckCard', [language]); }
    getResponse(signData, language) { return this.call('GetResponse', [signData, language]); }
    getMode1Response(challenge, currency, amount) {
      return this.call('GetMode1Response', [challenge, currency, amount]);
    }
    getMode2Response() { return this.call('GetMode2Response', []); }
    displayResult(messageId, lastLogon, language) {
      return this.call('DisplayResult', [messageId, lastLogon, language]);
    }
    cancel() { return this.call('Cancel', []); }
    close() {}
  }

  const api = { BrixonExtensionClient, findBrixonExtension };
  if (typeof module === 'object' && module.exports) module.exports = api;
  Object.assign(global, api);
})(typeof globalThis !== 'undefined' ? globalThis : this);
