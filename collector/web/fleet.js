// The fleet: one row per device, down devices first, updated every few
// seconds from api/devices without reloading. Only the rows of the page in
// view are built, so a fleet of a thousand devices stays quick.
'use strict';

(() => {
  const {el, duration, age, count, rate, clock, fetchJson, reachable, badge, failure} = Kestrel;
  const kEvery = 3000;
  const kPageSize = 50;
  let devices = [];
  let answer = null;
  let first = 0;
  let lastGood = null;
  let updates = 0;

  const filterBox = document.getElementById('filter');
  const stateBox = document.getElementById('state');

  function matching() {
    const words = filterBox.value.trim().toLowerCase();
    const state = stateBox.value;
    return devices.filter((d) => (!state || d.state === state) &&
        (!words || d.name.toLowerCase().includes(words) || d.address.includes(words)));
  }

  function inputsCell(d) {
    const list = el('div', {class: 'inputs'});
    for (const i of d.inputs) {
      list.append(el('span', {class: 'input'},
          el('b', {text: i.input}), ' ', el('span', {class: 'rate', text: rate(i.rate)}),
          ' · ', el('span', {class: 'today', text: count(i.today)})));
    }
    if (!d.inputs.length) list.append(el('span', {class: 'muted', text: 'no sample yet'}));
    return el('td', {}, list);
  }

  function row(d) {
    const link = el('a', {href: 'device/' + encodeURIComponent(d.name), text: d.name});
    const since = d.for_s === undefined ? '' : ' ' + duration(d.for_s);
    const cells = [
      el('td', {class: 'state'}, badge(d.state), el('span', {class: 'since', text: since})),
      el('td', {}, link, el('div', {class: 'address', text: d.address})),
      el('td', {class: 'model', text: d.model === undefined ? '–' : d.model + ' · unit ' + d.unit}),
      el('td', {text: d.counting === undefined ? '–' : d.counting ? 'on' : 'off'}),
      el('td', {text: age(d.sample_age_ms)}),
      inputsCell(d),
    ];
    const rows = [el('tr', {'data-device': d.name, 'data-state': d.state, class: 'device ' + d.state}, ...cells)];
    if (d.error) {
      rows.push(el('tr', {class: 'error-row'}, el('td', {}), el('td', {colspan: 5}, failure(d.error, d.hint))));
    }
    return rows;
  }

  function render() {
    const shown = matching();
    if (first >= shown.length) first = Math.max(0, Math.floor((shown.length - 1) / kPageSize) * kPageSize);
    const page = shown.slice(first, first + kPageSize);
    const body = document.querySelector('#fleet tbody');
    body.replaceChildren(...page.flatMap(row));
    document.getElementById('empty').hidden = page.length > 0;
    document.getElementById('range').textContent =
        shown.length ? (first + 1) + '–' + (first + page.length) + ' of ' + shown.length : '0 of 0';
    document.getElementById('prev').disabled = first === 0;
    document.getElementById('next').disabled = first + kPageSize >= shown.length;

    const by = {up: 0, down: 0, connecting: 0};
    for (const d of devices) by[d.state] = (by[d.state] || 0) + 1;
    document.getElementById('summary').textContent = devices.length + ' devices: ' + by.up + ' up, ' +
        by.down + ' down' + (by.connecting ? ', ' + by.connecting + ' connecting' : '');
    if (answer) {
      document.getElementById('today-label').textContent = answer.today_since_start ?
          'since ' + clock(answer.today_from) + ' (collector start, no store)' : 'today since 00:00';
      document.getElementById('updated').textContent = 'updated ' + clock(answer.time) + answer.time.substring(16, 19);
    }
  }

  async function update() {
    try {
      answer = await fetchJson('api/devices');
      devices = answer.devices;
      lastGood = new Date();
      reachable(true);
      render();
      document.body.dataset.updates = String(++updates);
    } catch (e) {
      reachable(false, e.message, lastGood);
    }
    setTimeout(update, kEvery);
  }

  filterBox.addEventListener('input', () => { first = 0; render(); });
  stateBox.addEventListener('change', () => { first = 0; render(); });
  document.getElementById('prev').addEventListener('click', () => { first = Math.max(0, first - kPageSize); render(); });
  document.getElementById('next').addEventListener('click', () => { first += kPageSize; render(); });
  update();
})();
