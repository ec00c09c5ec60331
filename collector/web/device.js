// One device: its state, settings and recent events, updated every few
// seconds from api/device, and its pulses per minute and per hour from
// api/totals. A period in which the input was not read has no value, so the
// line stops there instead of falling to 0.
'use strict';

(() => {
  const {el, duration, age, count, rate, clock, fetchJson, reachable, badge, failure} = Kestrel;
  const kEvery = 3000;
  const kChartsEvery = 60000;
  const kColors = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf'];
  const name = decodeURIComponent(location.pathname.replace(/^.*\/device\//, ''));
  let lastGood = null;
  let answer = null;
  let chartsAt = 0;
  const charts = {};

  document.getElementById('name').textContent = name;
  document.title = 'Kestrel collector: ' + name;

  function pairs(id, rows) {
    document.querySelector('#' + id + ' tbody').replaceChildren(...rows.map(([key, value]) =>
        el('tr', {}, el('th', {text: key}), el('td', {text: String(value)}))));
  }

  function render(a) {
    const d = a.device;
    const state = document.getElementById('state');
    state.className = 'badge ' + d.state;
    state.textContent = d.state;
    document.getElementById('for').textContent = d.for_s === undefined ? '' : 'for ' + duration(d.for_s);
    document.getElementById('facts').replaceChildren(
        el('span', {text: d.address}),
        el('span', {text: d.model === undefined ? 'model not known yet' : d.model + ', unit ' + d.unit}),
        el('span', {text: d.counting === undefined ? '' : 'counting ' + (d.counting ? 'on' : 'off')}),
        el('span', {text: 'last sample ' + age(d.sample_age_ms)}));
    const error = document.getElementById('error');
    error.hidden = !d.error;
    error.replaceChildren(...(d.error ? [failure(d.error, d.hint)] : []));

    const s = a.settings;
    const enabled = (s.inputs || []).filter((i) => i.enabled).map((i) => i.input).join(', ');
    pairs('settings', [
      ['Poll interval', s.interval_ms / 1000 + ' s'],
      ['Product code', s.product_code === undefined ? '–' : s.product_code],
      ['Count period', s.count_period === undefined ? '–' : s.count_period],
      ['Chatter filter', s.chatter_ms === undefined ? '–' : s.chatter_ms ? s.chatter_ms + ' ms' : 'off'],
      ['Inputs of the model', s.model_inputs === undefined ? '–' : s.model_inputs],
      ['Enabled inputs', enabled || '–'],
    ]);
    const c = a.counters;
    const failed = Object.entries(c.failures).map(([kind, n]) => kind + ' ' + n).join(', ');
    pairs('counters', [
      ['Connects', c.connects], ['Samples', count(c.samples)], ['Skipped slots', c.skipped_slots],
      ['Failures', failed || 'none'],
    ]);

    const edges = {};
    for (const i of s.inputs || []) edges[i.input] = i.edge;
    document.getElementById('today-label').textContent =
        a.today_since_start ? '(since ' + clock(a.today_from) + ')' : '';
    document.querySelector('#inputs tbody').replaceChildren(...d.inputs.map((i) => el('tr', {},
        el('td', {text: i.input}), el('td', {text: edges[i.input] || '–'}),
        el('td', {class: 'num', text: count(i.raw)}), el('td', {class: 'num', text: rate(i.rate)}),
        el('td', {class: 'num', text: count(i.today)}), el('td', {class: 'num', text: count(i.total)}))));

    document.querySelector('#events tbody').replaceChildren(...a.events.map((e) => el('tr', {class: 'event ev-' + e.kind},
        el('td', {class: 'time', text: e.time.substring(0, 10) + ' ' + e.time.substring(11, 19)}),
        el('td', {}, el('span', {class: 'kind', text: e.kind})),
        el('td', {}, el('div', {text: e.text + (e.repeats ? ' (' + e.repeats + ' times, last ' +
            e.last.substring(11, 19) + ')' : '')}), e.message ? failure(e.message, e.hint) : null))));
    document.getElementById('no-events').hidden = a.events.length > 0;
    document.getElementById('updated').textContent = 'updated ' + a.time.substring(11, 19);
  }

  // --- charts -------------------------------------------------------------

  const utcMinute = (ms) => new Date(ms).toISOString().substring(0, 16) + 'Z';

  function note(id, text) {
    const p = document.getElementById(id + '-note');
    p.hidden = !text;
    p.textContent = text || '';
  }

  // One line per input; periods not read are null, so no line crosses them,
  // and a value between two gaps is drawn as a dot.
  function datasets(rows) {
    const byInput = new Map();
    for (const r of rows) {
      if (!byInput.has(r.input)) byInput.set(r.input, []);
      byInput.get(r.input).push({x: Date.parse(r.from), y: r.read === false ? null : r.pulses});
    }
    return [...byInput.entries()].sort().map(([input, points], k) => ({
      label: input,
      data: points,
      borderColor: kColors[k % kColors.length],
      backgroundColor: kColors[k % kColors.length],
      borderWidth: 1.5,
      pointRadius: points.map((p, j) => p.y !== null && (points[j - 1] || {}).y == null &&
          (points[j + 1] || {}).y == null ? 2 : 0),
      spanGaps: false,
    }));
  }

  // How many pixels of the lines' colours a canvas shows: the page's own
  // check that a chart is not blank (the browser test reads it).
  function ink(canvas) {
    const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const colors = kColors.map((c) => [1, 3, 5].map((i) => parseInt(c.substring(i, i + 2), 16)));
    let n = 0;
    for (let p = 0; p < image.length; p += 4) {
      if (image[p + 3] < 128) continue;
      if (colors.some(([r, g, b]) => Math.abs(image[p] - r) + Math.abs(image[p + 1] - g) + Math.abs(image[p + 2] - b) < 60)) n++;
    }
    return n;
  }

  // Ticks at round local times: every 3 hours on the minute chart, every
  // 5 days at midnight on the hour chart.
  function roundTicks(from, to, unit) {
    const t = new Date(from);
    t.setMinutes(0, 0, 0);
    if (unit === 'hour') t.setHours(0);
    const ticks = [];
    while (t.getTime() <= to && ticks.length < 40) {
      const ok = unit === 'minute' ? t.getHours() % 3 === 0 : (t.getDate() - 1) % 5 === 0;
      if (t.getTime() >= from && ok) ticks.push(t.getTime());
      if (unit === 'minute') t.setHours(t.getHours() + 1);
      else t.setDate(t.getDate() + 1);
    }
    return ticks;
  }

  function draw(id, rows, from, to, unit) {
    const canvas = document.getElementById(id + '-chart');
    const sets = datasets(rows);
    note(id, sets.length ? '' : 'Nothing stored for this device in this range.');
    const label = unit === 'minute' ?
        (v) => new Date(v).toLocaleTimeString([], {hour: '2-digit', minute: '2-digit', hourCycle: 'h23'}) :
        (v) => new Date(v).toLocaleDateString([], {month: 'short', day: 'numeric'});
    if (charts[id]) charts[id].destroy();
    charts[id] = new Chart(canvas, {
      type: 'line',
      data: {datasets: sets},
      options: {
        animation: false, parsing: false, normalized: true, responsive: true, maintainAspectRatio: false,
        interaction: {mode: 'nearest', axis: 'x', intersect: false},
        scales: {
          x: {type: 'linear', min: from, max: to, ticks: {callback: label, maxRotation: 0},
            afterBuildTicks: (axis) => { axis.ticks = roundTicks(from, to, unit).map((value) => ({value})); }},
          y: {beginAtZero: true, title: {display: true, text: 'pulses per ' + unit}},
        },
        plugins: {
          legend: {position: 'bottom'},
          tooltip: {callbacks: {title: (items) => new Date(items[0].parsed.x).toLocaleString()}},
        },
      },
    });
    canvas.dataset.ink = String(ink(canvas));
    canvas.dataset.series = String(sets.length);
  }

  async function drawCharts(a) {
    if (!a.store) {
      for (const id of ['minutes', 'hours']) note(id, 'No history: the collector keeps no store (--store FILE).');
      document.body.dataset.charts = 'no-store';
      return;
    }
    if (typeof Chart === 'undefined') {
      for (const id of ['minutes', 'hours']) note(id, 'Charts need the chart library (Debian package libjs-chart.js).');
      document.body.dataset.charts = 'no-library';
      return;
    }
    const now = Date.parse(a.time);
    const minuteTo = Math.floor(now / 60000) * 60000 + 60000;
    const hourTo = Math.floor(now / 3600000) * 3600000 + 3600000;
    const ranges = [
      ['minutes', 'minute', minuteTo - 24 * 3600000, minuteTo],
      ['hours', 'hour', hourTo - 30 * 24 * 3600000, hourTo],
    ];
    for (const [id, unit, from, to] of ranges) {
      const query = 'from=' + utcMinute(from) + '&to=' + utcMinute(to) + '&by=' + unit +
          '&device=' + encodeURIComponent(name);
      const totals = await fetchJson('../api/totals?' + query, 15000);
      draw(id, totals.totals, from, to, unit);
    }
    document.body.dataset.charts = 'drawn';
  }

  async function update() {
    try {
      answer = await fetchJson('../api/device?name=' + encodeURIComponent(name));
      lastGood = new Date();
      reachable(true);
      render(answer);
      if (Date.now() - chartsAt >= kChartsEvery) {
        chartsAt = Date.now();
        await drawCharts(answer);
      }
    } catch (e) {
      // The collector answered, but polls no device of this name (any more).
      reachable(false, e.message, lastGood, e.status === 404 ?
          'This collector polls no device named "' + name + '" (any more).' : undefined);
    }
    setTimeout(update, kEvery);
  }
  update();
})();
