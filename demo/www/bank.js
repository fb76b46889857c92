/*
 * The demo bank page: each button runs one command through the Quorvex2
 * connector and shows its result; every request and reply goes to the log.
 * The connector is reached through the BRIXON extension when the browser has
 * it and its connector answers, else through the connector service.
 *
 * Query parameters (for tests and for a service on other ports):
 *   ports=9041,9042   ports to try instead of 9041..9045
 *   route=service     skip the extension
 *   run=checkConnection | session   run that at once and report in #outcome
 */
(function () {
  'use strict';

  const $ = (id) => document.getElementById(id);
  const query = new URLSearchParams(window.location.search);
  const ports = (query.get('ports') || '').split(',').map(Number).filter((p) => p > 0 && p < 65536);

  const logBox = $('log');
  function log(line) {
    const time = new Date().toISOString().slice(11, 23);
    logBox.textContent += time + ' ' + line + '\n';
    logBox.scrollTop = logBox.scrollHeight;
  }

  function trace(entry) {
    const where = entry.port ? ':' + entry.port + ' ' : '';
    if (entry.direction === '>') {
      log(where + '> ' + entry.text);
    } else if (entry.direction === '<') {
      const lines = entry.text === '' ? ['(empty reply)'] : entry.text.split('\n');
      lines.forEach((line) => log(where + '< ' + line));
    } else {
      log(where + '-- ' + entry.text);
    }
  }
  const service = new BrixwssvrClient({ ports, onTrace: trace });

  // The route is chosen once, at the first command: the extension first (no
  // certificate, no local network prompt), the service otherwise.
  let chosen = null;
  function connector() {
    if (!chosen) {
      chosen = (query.get('route') === 'service' ? Promise.resolve(null) : findBrixonExtension())
        .then((brixon) => {
          $('route').textContent = brixon ? 'BRIXON extension' : 'connector service';
          log('-- route: ' + $('route').textContent);
          return brixon ? new BrixonExtensionClient(brixon, { onTrace: trace }) : service;
        });
    }
    return chosen;
  }
  // What the page's code calls: each command on the chosen route.
  const client = {};
  ['checkConnection', 'checkCard', 'getResponse', 'getMode1Response', 'getMode2Response',
   'displayResult', 'cancel'].forEach((name) => {
    client[name] = (...args) => connector().then((route) => route[name](...args));
  });

  // --- request parameters from the form --------------------------------------

  // Whole units with up to two decimals to the 12 digits of cents the device takes.
  function amountDigits(text) {
    const match = /^\s*(\d{1,10})(?:[.,](\d{1,2}))?\s*$/.exec(text);
    if (!match) throw new Error('Amount "' + text + '" is not a number with up to two decimals');
    return (match[1] + (match[2] || '').padEnd(2, '0')).padStart(12, '0');
  }

  function challengeDigits(text) {
    const digits = text.trim();
    if (!/^\d{1,8}$/.test(digits)) throw new Error('The challenge is 1 to 8 digits');
    return digits.padStart(8, '0');
  }

  function hexOf(bytes) {
    return bytes.map((b) => b.toString(16).toUpperCase().padStart(2, '0')).join('');
  }

  // The device shows only printable characters; anything else becomes "?".
  function asciiBytes(text) {
    return Array.from(text, (c) => {
      const code = c.charCodeAt(0);
      return code >= 0x20 && code <= 0x7e ? code : 0x3f;
    });
  }

  function line17(text) {
    return text.slice(0, 17).padEnd(17, ' ');
  }

  /*
   * A transfer as sign data: blocks of type, length, value. Type 1 is what the
   * customer reads on the device (exactly 68 characters, four lines of 17);
   * type 0 is data the response covers without showing it (here the amount
   * in cents, the currency and the account).
   */
  function transferSignData(payee, account, amountText, reference) {
    const cents = amountDigits(amountText);
    const shown = Number(cents) / 100;
    const accountShown = account.length > 17 ? '..' + account.slice(-15) : account;
    const page = line17('Pay EUR ' + shown.toFixed(2)) + line17('to ' + payee) +
                 line17(accountShown) + line17(reference);
    const data = [];
    for (let i = 0; i < 12; i += 2) data.push(parseInt(cents.slice(i, i + 2), 16));
    data.push(0x09, 0x78);
    data.push(...asciiBytes(account.slice(0, 200)));
    return '01' + hexOf([68]) + hexOf(asciiBytes(page)) + '00' + hexOf([data.length]) + hexOf(data);
  }

  function currentSignData() {
    return transferSignData($('payee').value, $('iban').value.replace(/\s+/g, ''),
                            $('tx-amount').value, $('reference').value);
  }

  function showSignData() {
    try {
      $('signdata').textContent = currentSignData();
    } catch (error) {
      $('signdata').textContent = error.message;
    }
  }

  // --- showing results ---------------------------------------------------------

  function show(box, result) {
    const lines = Object.entries(result).map(([key, value]) => key + '=' + value);
    box.textContent = lines.join('\n') || '(empty reply)';
    box.className = 'result ' + (result.Status === 0 || lines.length === 0 ? 'ok' : 'bad');
  }

  function showError(box, error) {
    box.textContent = error.message;
    box.className = 'result bad';
    log('!! ' + error.message);
  }

  function wire(buttonId, boxId, run) {
    $(buttonId).addEventListener('click', () => {
      const box = $(boxId);
      box.textContent = '...';
      box.className = 'result';
      Promise.resolve().then(run).then((result) => show(box, result), (error) => showError(box, error));
    });
  }

  const language = () => $('language').value;

  wire('btn-connection', 'res-connection', () => client.checkConnection());
  wire('btn-card', 'res-card', () => client.checkCard(language()));
  wire('btn-mode1', 'res-mode1', () => {
    const currency = $('currency').value;
    const amount = currency ? amountDigits($('amount').value) : '';
    return client.getMode1Response(challengeDigits($('challenge').value), currency, amount);
  });
  wire('btn-mode2', 'res-mode1', () => client.getMode2Response());
  wire('btn-sign', 'res-sign', () => client.getResponse(currentSignData(), language()));
  wire('btn-display', 'res-display', () =>
    client.displayResult($('message').value, $('lastlogon').value, language()));
  wire('btn-cancel', 'res-display', () => client.cancel());

  $('btn-new-challenge').addEventListener('click', () => {
    const random = new Uint32Array(1);
    crypto.getRandomValues(random);
    $('challenge').value = String(random[0] % 100000000).padStart(8, '0');
  });
  ['payee', 'iban', 'tx-amount', 'reference'].forEach((id) => $(id).addEventListener('input', showSignData));
  showSignData();

  // --- a whole session, by button or by ?run= ------------------------------------

  function summary(name, result) {
    const extra = Object.entries(result)
      .filter(([key]) => key !== 'Status' && key !== 'StatusDescription')
      .map(([key, value]) => key + '=' + value).join(' ');
    if (!('Status' in result)) return name + ': (empty reply)';
    return name + ': Status=' + result.Status + ' ' + result.StatusDescription + (extra ? ' ' + extra : '');
  }

  const steps = {
    checkConnection: [['CheckConnection', () => client.checkConnection()]],
    session: [
      ['CheckConnection', () => client.checkConnection()],
      ['CheckCard', () => client.checkCard(language())],
      ['GetMode1Response', () => client.getMode1Response(
        challengeDigits($('challenge').value), '0978', amountDigits($('amount').value))],
      ['GetResponse', () => client.getResponse(currentSignData(), language())],
      ['DisplayResult', () => client.displayResult(6, '', language())],
      ['Cancel', () => client.cancel()],
    ],
  };

  async function runSteps(which) {
    const outcome = $('outcome');
    outcome.dataset.state = 'running';
    outcome.textContent = '';
    let ok = true;
    for (const [name, run] of steps[which]) {
      try {
        const result = await run();
        // Cancel answers with the empty text; every other command with a Status.
        if (name !== 'Cancel' && result.Status !== 0) ok = false;
        outcome.textContent += summary(name, result) + '\n';
      } catch (error) {
        ok = false;
        outcome.textContent += name + ' failed: ' + error.message + '\n';
        log('!! ' + error.message);
        break;
      }
    }
    outcome.textContent += ok ? 'SESSION OK' : 'SESSION FAILED';
    outcome.className = ok ? 'ok' : 'bad';
    outcome.dataset.result = ok ? 'ok' : 'failed';
    outcome.dataset.state = 'done';
  }

  $('btn-session').addEventListener('click', () => runSteps('session'));
  const run = query.get('run');
  if (run && steps[run]) runSteps(run);
  log('-- page ready; service ports ' + service.ports.join(','));
})();
