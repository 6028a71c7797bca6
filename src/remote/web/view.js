// The panel on the page. A state from the station comes in through render(): the lamps,
// the frequency and the words follow it, and what changed since the last state is said
// once in the polite live region. A press goes out through the send function given to
// the constructor, after the in-page dialog for the commands that move the elements
// for a long time. Nothing here knows about sockets.

// The nine bands, 80 m first, as the desktop panel has them.
export const BANDS = ['80', '40', '30', '20', '17', '15', '12', '10', '6'];

// The desktop's 180 and BiDir buttons toggle: a lit pattern goes back to normal.
const toggle = (pattern) => (s) => ({
  command: 'pattern',
  pattern: s.pattern === pattern ? 'normal' : pattern,
});

// What each control sends, and the question asked first where the elements move long.
const COMMANDS = {
  home: {
    name: 'Home',
    confirm: ['Home the antenna?', 'The elements retract all the way. This takes a long time, and the antenna is out of use meanwhile.', 'Yes, home'],
    message: () => ({ command: 'home' }),
  },
  calibrate: {
    name: 'Calibrate',
    confirm: ['Calibrate the antenna?', 'The elements run to their ends and back. This takes a long time, and the antenna is out of use meanwhile.', 'Yes, calibrate'],
    message: () => ({ command: 'calibrate' }),
  },
  'transceiver-on': { name: 'En Xcvr', message: () => ({ command: 'transceiver', enabled: true }) },
  'transceiver-off': { name: 'Dis Xcvr', message: () => ({ command: 'transceiver', enabled: false }) },
  'pattern-180': { name: '180', message: toggle('180') },
  'pattern-bidirectional': { name: 'BiDir', message: toggle('bidirectional') },
  'step-up': { name: 'UP', message: () => ({ command: 'step', direction: 'up' }) },
  'step-down': { name: 'DN', message: () => ({ command: 'step', direction: 'down' }) },
  follow: { name: 'Follow Radio', message: (s) => ({ command: 'follow', enabled: !s.follow?.enabled }) },
};
for (const band of BANDS)
  COMMANDS[`band-${band}`] = { name: `${band} m`, message: () => ({ command: 'band', band }) };

// What the Connected lamp and the link line say for each condition of the line.
const LINKS = {
  answering: ['green', 'answering', (s) => `Controller answering on ${s.port}`, 'Controller answering'],
  silent: ['red', 'not answering', (s) => `Controller not answering for ${s.silentSeconds} s`, 'Controller not answering'],
  'not-understood': ['red', 'not understood', () => 'Controller reply not understood', 'Controller reply not understood'],
  closed: ['red', 'port closed', () => 'Serial port closed', 'Serial port closed'],
};
const RADIO = {
  off: ['grey', 'off', 'Not following the radio'],
  answering: ['green', 'following', 'Following the radio'],
  'not-answering': ['red', 'not answering', 'Radio not answering'],
};
const PATTERN_WORDS = { normal: 'Pattern normal', 180: 'Pattern 180', bidirectional: 'Pattern bidirectional' };

const onOff = (on, lit, unlit) => (on ? [lit, 'on'] : [unlit, 'off']);
// Each lamp: its desktop name → [colour word, state in words].
const LAMPS = {
  TUNING: (s) => onOff(s.tuning, 'red', 'grey'),
  RETRACTING: (s) => onOff(s.retracting, 'red', 'grey'),
  Connected: (s) => (LINKS[s.link] ?? LINKS.closed).slice(0, 2),
  'Radio lamp': (s) => (RADIO[s.follow?.state] ?? RADIO.off).slice(0, 2),
  '180 lamp': (s) => onOff(s.pattern === '180', 'green', 'red'),
  'BiDir lamp': (s) => onOff(s.pattern === 'bidirectional', 'green', 'red'),
  '3/4 lamp': () => ['red', 'off'],
};
for (const band of BANDS) LAMPS[`${band} m lamp`] = (s) => onOff(s.band === band, 'green', 'red');

// What to say when something changed between two states; an empty list says nothing.
function changes(before, s) {
  const said = [];
  if (s.link !== before.link) said.push((LINKS[s.link] ?? LINKS.closed)[3]);
  if (s.tuning && !before.tuning) said.push('Tuning');
  else if (!s.tuning && before.tuning) said.push(`Tuned to ${s.frequencyText}`);
  else if (!s.tuning && s.frequencyText !== before.frequencyText && s.frequencyText)
    said.push(`Frequency ${s.frequencyText}`);
  if (s.retracting !== before.retracting) said.push(s.retracting ? 'Retracting' : 'Retracted');
  if (s.pattern !== before.pattern && PATTERN_WORDS[s.pattern]) said.push(PATTERN_WORDS[s.pattern]);
  if (s.follow?.state !== before.follow?.state) said.push((RADIO[s.follow?.state] ?? RADIO.off)[2]);
  return said;
}

export class View {
  constructor(doc, send) {
    this.doc = doc;
    this.send = send;
    this.state = null;
    this.online = false;
    this.pending = []; // names of the commands whose results are still due, oldest first
    this.$ = (id) => doc.getElementById(id);
    this.buildBands();
    this.lamps = [...doc.querySelectorAll('[data-lamp]')];
    this.words = new Map([...doc.querySelectorAll('[data-word]')].map((e) => [e.dataset.word, e]));
    this.controls = [...doc.querySelectorAll('button[data-command]')];
    this.$('panel').addEventListener('click', (e) => this.press(e.target.closest('button[data-command]')));
    this.$('confirm').addEventListener('close', () => this.confirmed());
  }

  buildBands() {
    const bands = this.$('bands');
    for (const band of BANDS) {
      const cell = this.doc.createElement('div');
      cell.className = 'band';
      const lamp = this.doc.createElement('span');
      lamp.className = 'lamp';
      lamp.setAttribute('role', 'img');
      lamp.dataset.lamp = `${band} m lamp`;
      const button = this.doc.createElement('button');
      button.type = 'button';
      button.textContent = band;
      button.setAttribute('aria-label', `${band} m`);
      button.dataset.command = `band-${band}`;
      cell.append(lamp, button);
      bands.append(cell);
    }
  }

  render(s) {
    const before = this.state;
    this.state = s;
    this.$('login').hidden = true;
    this.$('panel').hidden = false;
    this.$('frequency').value = s.frequencyText ?? '';
    for (const lamp of this.lamps) {
      const name = lamp.dataset.lamp;
      const [colour, word] = LAMPS[name](s);
      lamp.className = `lamp ${colour}`;
      lamp.setAttribute('aria-label', `${name}: ${colour}`);
      const words = this.words.get(name);
      if (words) words.textContent = word;
    }
    for (const band of this.$('bands').children)
      band.classList.toggle('lit', band.firstChild.classList.contains('green'));
    const link = LINKS[s.link] ?? LINKS.closed;
    this.$('link').textContent = link[2](s);
    this.$('link').classList.toggle('trouble', s.link !== 'answering');
    this.pressed('pattern-180', s.pattern === '180');
    this.pressed('pattern-bidirectional', s.pattern === 'bidirectional');
    const follow = this.$('follow');
    follow.setAttribute('aria-checked', String(Boolean(s.follow?.enabled)));
    this.$('follow-status').textContent = s.follow?.status || (RADIO[s.follow?.state] ?? RADIO.off)[2];
    this.$('footer').textContent = [
      s.port && `Port ${s.port}`,
      s.largeAntenna && 'large antenna',
      Number.isInteger(s.clients) && `${s.clients} ${s.clients === 1 ? 'browser' : 'browsers'} connected`,
      s.version && `station ${s.version}`,
    ].filter(Boolean).join(' · ');
    if (before) this.announce(changes(before, s));
    else performance.mark('tarvik-first-state'); // bench/web_latency.py reads it
  }

  pressed(command, on) {
    this.doc.querySelector(`[data-command="${command}"]`).setAttribute('aria-pressed', String(on));
  }

  // Said once: the same words again are cleared first, so they are heard again.
  announce(said) {
    if (!said.length) return;
    const region = this.$('announcer');
    const text = said.join('. ');
    if (region.textContent === text) {
      region.textContent = '';
      requestAnimationFrame(() => (region.textContent = text));
    } else {
      region.textContent = text;
    }
  }

  press(button) {
    if (!button || button.disabled || !this.online || !this.state) return;
    const command = COMMANDS[button.dataset.command];
    if (!command.confirm) return this.dispatch(command);
    const [title, text, ok] = command.confirm;
    this.asking = command;
    this.$('confirm-title').textContent = title;
    this.$('confirm-text').textContent = text;
    this.$('confirm-ok').textContent = ok;
    this.$('confirm').returnValue = '';
    this.$('confirm').showModal();
  }

  confirmed() {
    const command = this.asking;
    this.asking = null;
    if (command && this.$('confirm').returnValue === 'ok' && this.online) this.dispatch(command);
  }

  dispatch(command) {
    if (this.send(command.message(this.state))) this.pending.push(command.name);
  }

  result(m) {
    const name = this.pending.shift() ?? 'Command';
    this.$('error').textContent = m.ok ? '' : `${name} refused: ${m.error || 'no reason given'}`;
  }

  // The socket's condition: controls work only while it is open.
  setOnline(online) {
    this.online = online;
    this.pending = [];
    for (const control of this.controls) control.disabled = !online;
    if (online) {
      this.$('banner').hidden = true;
      if (this.lostOnce) this.announce(['Connection to the station restored']);
      this.lostOnce = false;
    } else {
      this.$('link').textContent = 'Station not reachable: the last state it sent';
      this.$('link').classList.add('trouble');
      if (this.$('confirm').open) this.$('confirm').close();
    }
  }

  lost(seconds) {
    const banner = this.$('banner');
    if (!this.lostOnce) this.announce(['Connection to the station lost']);
    this.lostOnce = true;
    banner.textContent = `No connection to the station. Trying again in ${seconds} s.`;
    banner.hidden = false;
  }

  showLogin(message) {
    this.$('panel').hidden = true;
    this.$('banner').hidden = true;
    this.$('login').hidden = false;
    this.$('login-error').textContent = message ?? '';
    this.$('token').focus();
  }
}
