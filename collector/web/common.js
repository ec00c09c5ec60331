// Shared by the fleet and device pages. Everything that comes from a device
// or the configuration is put into the page as text (textContent), never
// parsed as HTML: a device may be named "<img src=x onerror=...>".
'use strict';

const Kestrel = (() => {
  // Builds an element; strings among the children become text nodes.
  function el(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attrs || {})) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'class') node.className = value;
      else if (key === 'text') node.textContent = value;
      else node.setAttribute(key, String(value));
    }
    for (const child of children) {
      if (child === undefined || child === null) continue;
      node.append(typeof child === 'string' ? document.createTextNode(child) : child);
    }
    return node;
  }

  function duration(seconds) {
    const s = Math.max(0, Math.round(seconds));
    if (s < 60) return s + ' s';
    if (s < 3600) return Math.floor(s / 60) + ' min';
    if (s < 86400) return Math.floor(s / 3600) + ' h ' + Math.floor((s % 3600) / 60) + ' min';
    return Math.floor(s / 86400) + ' d ' + Math.floor((s % 86400) / 3600) + ' h';
  }

  function age(ms) {
    if (ms === undefined) return 'none yet';
    return ms < 10000 ? (ms / 1000).toFixed(1) + ' s ago' : duration(ms / 1000) + ' ago';
  }

  const count = (n) => Number(n).toLocaleString('en-US');

  function rate(r) {
    if (r === undefined) return '–';
    return (r >= 100 ? r.toFixed(0) : r >= 10 ? r.toFixed(1) : r.toFixed(2)) + '/s';
  }

  // "HH:MM" of an ISO time as the collector wrote it (its own local time).
  const clock = (iso) => iso.substring(11, 16);

  // A JSON answer, given up after `ms`: the page says so and tries again.
  async function fetchJson(url, ms) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), ms || 5000);
    try {
      const answer = await fetch(url, {signal: abort.signal, cache: 'no-store'});
      if (!answer.ok) {
        const error = new Error('the collector answered ' + answer.status + ' ' + answer.statusText);
        error.status = answer.status;
        throw error;
      }
      return await answer.json();
    } catch (e) {
      if (e.status) throw e;
      throw new Error(e.name === 'AbortError' ? 'no answer within ' + (ms || 5000) / 1000 + ' s' : e.message);
    } finally {
      clearTimeout(timer);
    }
  }

  // The banner across the top while the collector cannot be reached.
  function reachable(ok, why, lastGood, text) {
    const banner = document.getElementById('banner');
    banner.hidden = ok;
    document.body.classList.toggle('stale', !ok);
    if (!ok && text) {
      banner.textContent = text;
    } else if (!ok) {
      banner.textContent = 'Cannot reach the collector: ' + why + '. ' +
          (lastGood ? 'Showing what it said at ' + lastGood.toLocaleTimeString() + '. ' : '') +
          'Trying again every few seconds.';
    }
  }

  function badge(state) {
    return el('span', {class: 'badge ' + state, text: state});
  }

  // The window's Japanese text of a failure with its English line under it.
  function failure(message, hint) {
    return el('div', {class: 'failure'},
        el('div', {class: 'jp', lang: 'ja', text: message}),
        hint ? el('div', {class: 'en', text: hint}) : null);
  }

  return {el, duration, age, count, rate, clock, fetchJson, reachable, badge, failure};
})();
