/*
 * brixwssvr-client.js: talks to the Quorvex2 connector service from a web page.
 *
 *   const client = new BrixwssvrClient({ onTrace: (entry) => console.log(entry) });
 *   const result = await client.checkConnection();   // { Status: 0, StatusDescription: "Success", ... }
 *
 * The service listens on wss://127.0.0.1 on the first free port of 9041..9045;
 * the client tries them in that order and keeps the first connection that
 * opens. Requests go one at a time: the service does not keep the order of
 * replies on one connection, so a second request is only sent once the first
 * has its reply. Cancel is the exception: it is sent at once, so that it can
 * end a command that waits for the customer; its reply is the empty text and
 * the command's reply (Status=15) still arrives, so the two never mix up.
 *
 * No dependencies, no build step; works as a classic script (window.Brixwssvr*)
 * and as a CommonJS module.
 */
(function (global) {
  'use strict';

  const DEFAULT_PORTS = [9041, 9042, 9043, 9044, 9045];
  const DEFAULT_HOST = '127.0.0.1';
  // The close code the service uses for a request it does not understand.
  const CLOSE_INVALID_REQUEST = 1007;

  const Command = Object.freeze({
    CheckConnection: 1,
    CheckCard: 2,
    GetResponse: 3,
    GetMode1Response: 4,
    GetMode2Response: 5,
    DisplayResult: 6,
    Cancel: 7,
  });

  const CommandName = Object.freeze(
    Object.fromEntries(Object.entries(Command).map(([name, number]) => [number, name])));

  /**
   * Failures of the connection itself (a command that fails on the device is
   * no error: it resolves with its Status). kind is one of
   *   'unreachable'  no port gave a connection (service not running, certificate
   *                  not trusted, origin refused, or the browser blocked loopback)
   *   'closed'       the connection closed before the reply; code and reason say why
   *   'invalid'      the service closed with 1007: unknown command or wrong parameters
   *   'usage'        the client was called wrongly
   */
  class BrixwssvrError extends Error {
    constructor(kind, message, details) {
      super(message);
      this.name = 'BrixwssvrError';
      this.kind = kind;
      Object.assign(this, details || {});
    }
  }

  /**
   * "Key=Value" lines to an object. Status becomes a number; every other value
   * stays text (PANs and responses are hexadecimal digits with leading zeros).
   * A line without "=" is kept under its own text with an empty value. The
   * empty text (the reply to Cancel) gives an empty object.
   */
  function parseResult(text) {
    const result = {};
    if (text === '') return result;
    for (const line of String(text).split('\n')) {
      const at = line.indexOf('=');
      const key = at < 0 ? line : line.slice(0, at);
      const value = at < 0 ? '' : line.slice(at + 1);
      result[key] = key === 'Status' && /^-?\d+$/.test(value) ? Number(value) : value;
    }
    return result;
  }

  function closeMessage(code, reason) {
    if (code === CLOSE_INVALID_REQUEST) {
      return 'The connector service closed the connection with code 1007: it does not ' +
             'accept this request (unknown command number or wrong number of parameters).';
    }
    return 'The connection to the connector service closed before the reply (code ' + code +
           (reason ? ', ' + reason : '') + ').';
  }

  /**
   * Chrome asks before a page of a public site may reach this computer's own
   * addresses (Local Network Access). Resolves with { name, state } of the
   * permission the browser knows ("granted", "denied", "prompt"), or null
   * when it knows none of them.
   */
  function localNetworkPermission() {
    const permissions = global.navigator && global.navigator.permissions;
    if (!permissions || !permissions.query) return Promise.resolve(null);
    // Newer Chrome gates loopback under its own name; older under one name for all.
    const names = ['loopback-network', 'local-network-access'];
    const next = (i) => (i >= names.length ? Promise.resolve(null)
      : permissions.query({ name: names[i] })
        .then((status) => ({ name: names[i], state: status.state }), () => next(i + 1)));
    return next(0);
  }

  class BrixwssvrClient {
    /**
     * options.ports           ports to try, in order (default 9041..9045)
     * options.host            default "127.0.0.1"
     * options.connectTimeoutMs per port (default 5000)
     * options.onTrace         called with { direction: '>' | '<' | '!', port, text }
     *                         for every request, reply and connection event
     * options.WebSocket       the WebSocket class (default the browser's)
     */
    constructor(options) {
      const o = options || {};
      this.ports = (o.ports && o.ports.length ? o.ports : DEFAULT_PORTS).map(Number);
      this.host = o.host || DEFAULT_HOST;
      this.connectTimeoutMs = o.connectTimeoutMs || 5000;
      this.onTrace = o.onTrace || function () {};
      this.WebSocket = o.WebSocket || global.WebSocket;
      this.socket = null;
      this.port = null;
      this.connecting = null;
      this.queue = [];        // requests waiting for their turn
      this.current = null;    // the request whose reply is awaited
      this.cancels = [];      // cancels sent, each waiting for its empty reply
    }

    // --- the seven commands -------------------------------------------------

    checkConnection() { return this.request(Command.CheckConnection, []); }
    checkCard(language) { return this.request(Command.CheckCard, [language || '']); }
    getResponse(signDataHex, language) {
      return this.request(Command.GetResponse, [signDataHex, language || '']);
    }
    getMode1Response(challenge, currency, amount) {
      return this.request(Command.GetMode1Response, [challenge, currency || '', amount || '']);
    }
    getMode2Response() { return this.request(Command.GetMode2Response, []); }
    displayResult(messageId, lastLogon, language) {
      return this.request(Command.DisplayResult,
                          [String(messageId), lastLogon || '', language || '']);
    }

    /** Ends a command that waits for the customer (it then resolves with Status 15). */
    cancel() {
      return this.connect().then(() => new Promise((resolve, reject) => {
        const entry = { resolve, reject };
        this.cancels.push(entry);
        this.send(Command.Cancel, []);
      }));
    }

    /**
     * Any request: name is the command number, params an array whose elements
     * are sent as JSON strings. Resolves with the parsed result, whose
     * non-enumerable property text holds the reply as received.
     */
    request(name, params) {
      if (!Array.isArray(params)) {
        return Promise.reject(new BrixwssvrError('usage', 'params must be an array'));
      }
      if (name === Command.Cancel) return this.cancel();
      return new Promise((resolve, reject) => {
        this.queue.push({ name, params: params.map(String), resolve, reject });
        this.pump();
      });
    }

    close() {
      if (this.socket) this.socket.close(1000);
    }

    // --- connection ---------------------------------------------------------

    /** Resolves with the port once a connection is open; tries each port in turn. */
    connect() {
      if (this.socket && this.socket.readyState === 1) return Promise.resolve(this.port);
      if (!this.connecting) {
        this.connecting = this.tryPorts(0, []).finally(() => { this.connecting = null; });
      }
      return this.connecting;
    }

    tryPorts(index, failures) {
      if (index >= this.ports.length) {
        const tried = failures.map((f) => f.port + ' (' + f.why + ')').join(', ');
        return localNetworkPermission().then((permission) => {
          const access = permission ? ' The browser\'s "' + permission.name + '" permission for ' +
            'this page is "' + permission.state + '".' : '';
          throw new BrixwssvrError('unreachable',
            'No Quorvex2 connector service answered on wss://' + this.host + ' ports ' + tried +
            '. Is the service running? Does the browser trust its certificate? Is this page ' +
            'served from one of the bank\'s https sites, and has the browser been allowed to ' +
            'reach this device (local network access)?' + access, { failures, permission });
        });
      }
      const port = this.ports[index];
      // While the browser asks the customer whether this page may reach the
      // device, the connection waits for the answer: no time limit then.
      return localNetworkPermission()
        .then((permission) => this.open(port, permission && permission.state === 'prompt'
          ? 0 : this.connectTimeoutMs))
        .then(() => port, (why) => this.tryPorts(index + 1, failures.concat([{ port, why }])));
    }

    open(port, timeoutMs) {
      return new Promise((resolve, reject) => {
        const url = 'wss://' + this.host + ':' + port + '/';
        let socket;
        try {
          socket = new this.WebSocket(url);
        } catch (error) {
          reject(String(error && error.message || error));
          return;
        }
        let settled = false;
        const timer = timeoutMs > 0 ? setTimeout(() => {
          if (settled) return;
          settled = true;
          socket.close();
          reject('no answer within ' + timeoutMs + ' ms');
        }, timeoutMs) : null;
        socket.onopen = () => {
          if (settled) return;
          settled = true;
          clearTimeout(timer);
          this.adopt(socket, port);
          this.onTrace({ direction: '!', port, text: 'connected to ' + url });
          resolve();
        };
        // The browser tells a page nothing more about a failed handshake:
        // a refused origin (HTTP 400), an untrusted certificate and a closed
        // port all read as close code 1006.
        socket.onclose = (event) => {
          if (settled) return;
          settled = true;
          clearTimeout(timer);
          reject('closed ' + event.code);
        };
        socket.onerror = () => {};
      });
    }

    adopt(socket, port) {
      this.socket = socket;
      this.port = port;
      socket.onmessage = (event) => this.receive(event.data);
      socket.onclose = (event) => this.closed(socket, event.code, event.reason);
    }

    closed(socket, code, reason) {
      if (socket !== this.socket) return;
      this.socket = null;
      this.onTrace({ direction: '!', port: this.port, text: 'closed ' + code + (reason ? ' ' + reason : '') });
      const kind = code === CLOSE_INVALID_REQUEST ? 'invalid' : 'closed';
      const error = () => new BrixwssvrError(kind, closeMessage(code, reason), { code, reason });
      if (this.current) {
        this.current.reject(error());
        this.current = null;
      }
      this.cancels.splice(0).forEach((entry) => entry.reject(error()));
      // Waiting requests get a new connection.
      this.pump();
    }

    // --- requests and replies -----------------------------------------------

    pump() {
      if (this.current || this.queue.length === 0) return;
      this.current = this.queue.shift();
      const request = this.current;
      this.connect().then(
        () => {
          if (this.current === request) this.send(request.name, request.params);
        },
        (error) => {
          if (this.current !== request) return;
          this.current = null;
          request.reject(error);
          this.pump();
        });
    }

    send(name, params) {
      const text = JSON.stringify({ Name: name, Params: params });
      this.onTrace({ direction: '>', port: this.port, text, command: CommandName[name] });
      this.socket.send(text);
    }

    receive(data) {
      const text = typeof data === 'string' ? data : String(data);
      this.onTrace({ direction: '<', port: this.port, text });
      // Every command's reply starts with its Status line; only Cancel answers
      // with the empty text.
      if (text === '' && this.cancels.length > 0) {
        this.cancels.shift().resolve(parseResult(text));
        return;
      }
      const request = this.current;
      if (!request) return;
      this.current = null;
      const result = parseResult(text);
      Object.defineProperty(result, 'text', { value: text, enumerable: false });
      request.resolve(result);
      this.pump();
    }
  }

  const api = {
    BrixwssvrClient, BrixwssvrError, Command, CommandName, parseResult, localNetworkPermission,
    DEFAULT_PORTS,
  };
  if (typeof module === 'object' && module.exports) module.exports = api;
  Object.assign(global, api);
})(typeof globalThis !== 'undefined' ? globalThis : this);
