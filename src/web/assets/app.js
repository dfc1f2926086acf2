// SPDX-License-Identifier: GPL-3.0-or-later
// The kitchen screen (/kds/<zone>) and the operator console (/). Every text from the server is
// put into the page as text (textContent), never as markup: dish names and notes come from
// handhelds and the database.
'use strict';

const percorso = location.pathname;
const zona = percorso.startsWith('/kds/') ? decodeURIComponent(percorso.slice(5)) : '';
let stato = { schede: [], totali: [], ricevuto: Date.now(), avviso: 10, allarme: 20 };
let scelta = 0; // index of the selected card (the bump bar's cursor)

function el(tag, classe, testo) {
  const e = document.createElement(tag);
  if (classe) e.className = classe;
  if (testo !== undefined && testo !== null) e.textContent = String(testo);
  return e;
}

function quantita(q) {
  return Number.isInteger(q) ? String(q) : String(q).replace('.', ',');
}

function durata(s) {
  s = Math.max(0, Math.floor(s));
  const m = Math.floor(s / 60);
  return m + ':' + String(s % 60).padStart(2, '0');
}

async function azione(url, corpo) {
  try {
    await fetch(url, {
      method: 'POST', credentials: 'same-origin',
      headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(corpo || {})
    });
  } catch (e) { /* the socket's next state shows what happened */ }
}

function fatto(id) { return azione('/api/kds/' + encodeURIComponent(zona) + '/fatto', { id }); }
function richiama() { return azione('/api/kds/' + encodeURIComponent(zona) + '/richiama'); }

function trascorsi(s) { return s.trascorsi + (Date.now() - stato.ricevuto) / 1000; }

function coloreScheda(nodo, s) {
  const min = trascorsi(s) / 60;
  nodo.classList.toggle('rosso', min >= stato.allarme);
  nodo.classList.toggle('giallo', min >= stato.avviso && min < stato.allarme);
  nodo.querySelector('.tempo').textContent = durata(trascorsi(s));
}

function disegnaKds() {
  const schede = document.getElementById('schede');
  schede.replaceChildren();
  if (scelta >= stato.schede.length) scelta = Math.max(0, stato.schede.length - 1);
  stato.schede.forEach((s, i) => {
    const c = el('article', 'scheda' + (i === scelta ? ' scelta' : ''));
    c.dataset.id = s.id;
    const testa = el('div', 'testa');
    const sx = el('span');
    sx.append(el('span', 'numero', i + 1), el('span', 'tavolo', 'Tavolo ' + s.tavoli));
    testa.append(sx, el('span', 'tempo'));
    c.append(testa, el('div', 'info', s.cameriere + ' · ore ' + s.ora + ' · n. ' + s.comanda));
    const righe = el('ul');
    for (const r of s.righe) {
      const li = el('li');
      li.append(el('span', 'qta', quantita(r.quantita)), el('span', 'piatto', r.piatto));
      if (r.turno) li.append(el('span', 'turno', r.turno));
      for (const v of r.variazioni) li.append(el('span', 'var', v.trim()));
      righe.append(li);
    }
    const b = el('button', 'fatto', 'Fatto');
    b.type = 'button';
    b.addEventListener('click', () => fatto(s.id));
    c.append(righe, b);
    c.addEventListener('click', (ev) => { if (ev.target !== b) { scelta = i; evidenzia(); } });
    coloreScheda(c, s);
    schede.append(c);
  });
  if (stato.altre > 0) schede.append(el('div', 'altre', '+ ' + stato.altre + ' comande in attesa'));
  const tot = document.getElementById('tuttoilgiorno');
  tot.replaceChildren();
  for (const t of stato.totali) {
    const li = el('li');
    li.append(el('span', 'qta', quantita(t.quantita)), el('span', 'piatto', t.piatto));
    tot.append(li);
  }
}

function evidenzia() {
  document.querySelectorAll('.scheda').forEach((n, i) => n.classList.toggle('scelta', i === scelta));
}

function tick() {
  document.getElementById('orologio').textContent = new Date().toLocaleTimeString('it-IT', { hour: '2-digit', minute: '2-digit' });
  document.querySelectorAll('.scheda').forEach((n, i) => { if (stato.schede[i]) coloreScheda(n, stato.schede[i]); });
}

// The bump bar: a keyboard with no mouse. Digits pick a card, arrows move, Enter bumps, R recalls.
function tasto(ev) {
  if (!zona || ev.ctrlKey || ev.altKey || ev.metaKey) return;
  const n = stato.schede.length;
  if (ev.key >= '1' && ev.key <= '9') scelta = Math.min(n - 1, Number(ev.key) - 1);
  else if (ev.key === 'ArrowRight' || ev.key === 'ArrowDown') scelta = Math.min(n - 1, scelta + 1);
  else if (ev.key === 'ArrowLeft' || ev.key === 'ArrowUp') scelta = Math.max(0, scelta - 1);
  else if (ev.key === 'Enter') { if (stato.schede[scelta]) fatto(stato.schede[scelta].id); }
  else if (ev.key === 'r' || ev.key === 'R' || ev.key === 'Backspace') richiama();
  else return;
  ev.preventDefault();
  evidenzia();
}

function disegnaConsole(c) {
  document.getElementById('stato').textContent = c.stato.join('\n');
  const corpo = document.querySelector('#biglietti tbody');
  corpo.replaceChildren();
  for (const b of c.biglietti) {
    const tr = el('tr');
    tr.append(el('td', '', b.riga));
    const td = el('td');
    if (b.comanda > 0) {
      const btn = el('button', 'ristampa', 'Ristampa');
      btn.type = 'button';
      btn.dataset.comanda = b.comanda;
      btn.dataset.zona = b.zona;
      btn.addEventListener('click', () => azione('/api/ristampa', { comanda: b.comanda, zona: b.zona }));
      td.append(btn);
    }
    tr.append(td);
    corpo.append(tr);
  }
  document.getElementById('nessuno').hidden = c.biglietti.length > 0;
  const tempi = document.querySelector('#tempi tbody');
  tempi.replaceChildren();
  for (const t of c.tempi) {
    const tr = el('tr');
    tr.append(el('td', '', t.zona), el('td', '', t.pronti), el('td', '', durata(t.media)), el('td', '', durata(t.massimo)));
    tempi.append(tr);
  }
  document.getElementById('schermi').textContent = 'Schermi: ' + (c.schermi.length ? c.schermi.join(', ') : 'nessuno');
  const ev = document.getElementById('eventi');
  ev.replaceChildren(...c.eventi.map((r) => el('li', '', r)));
}

function evento(riga) {
  const ev = document.getElementById('eventi');
  ev.prepend(el('li', '', riga));
  while (ev.children.length > 200) ev.lastChild.remove();
}

function collega() {
  const proto = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const ws = new WebSocket(proto + location.host + '/ws' + (zona ? '?zona=' + encodeURIComponent(zona) : ''));
  const segno = document.getElementById('collegamento');
  ws.onopen = () => { segno.textContent = 'collegato'; segno.classList.remove('spento'); };
  ws.onclose = () => {
    segno.textContent = 'non collegato'; segno.classList.add('spento');
    setTimeout(collega, 2000);
  };
  ws.onmessage = (m) => {
    const d = JSON.parse(m.data);
    if (d.tipo === 'kds' && d.zona === zona) {
      stato = Object.assign(stato, d, { ricevuto: Date.now() });
      disegnaKds();
    } else if (d.tipo === 'console') disegnaConsole(d);
    else if (d.tipo === 'evento') evento(d.riga);
  };
}

async function avvio() {
  if (zona) {
    document.getElementById('kds').hidden = false;
    document.getElementById('titolo').textContent = zona;
    document.title = 'PlikoServer - ' + zona;
    document.getElementById('richiama').addEventListener('click', richiama);
    document.addEventListener('keydown', tasto);
    const r = await fetch('/api/kds/' + encodeURIComponent(zona), { credentials: 'same-origin' });
    if (r.ok) { stato = Object.assign(stato, await r.json(), { ricevuto: Date.now() }); disegnaKds(); }
  } else {
    document.getElementById('console').hidden = false;
    document.getElementById('titolo').textContent = 'PlikoServer - console';
    const r = await fetch('/api/console', { credentials: 'same-origin' });
    if (r.ok) disegnaConsole(await r.json());
  }
  tick();
  setInterval(tick, 1000);
  collega();
}

avvio();
