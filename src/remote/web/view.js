// The panel on the page. A state from the station comes in through render(): the lamps,
// the frequency and the words follow it, and what changed since the last state is said
// once in the polite live region. A press goes out through the send function given to
// the constructor, after the in-page dialog for the commands that move the elements
// for a long time. Nothing here knows about sockets.

// The nine bands, 80 m first, as the desktop panel has them.
export const BANDS = ['80', '40', '30', '20', '17', '15', '12', '10', '6'];

// 180 and BiDir toggle; the station decides from what the controller reported, as it
// does for the desktop's buttons.
const toggle = (pattern) => () => ({ command: 'pattern', toggle: pattern });

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

// Lamps whose change of words is said in the live region; TUNING and the frequency are
// said together, and the bands are said by the frequency.
const SPOKEN = ['Connected', 'RETRACTING', '180 lamp', 'BiDir lamp', 'Radio lamp', 'TX lamp'];

// What to say when something changed between two states; an empty list says nothing.
function changes(before, s) {
  const said = [];
  const words = (state, name) => state.lamps?.[name]?.words;
  if (words(s, 'Connected') !== words(before, 'Connected')) said.push(words(s, 'Connected'));
  if (s.tuning && !before.tuning) said.push('Tuning');
  else if (!s.tuning && before.tuning) said.push(`Tuned to ${s.frequencyText}`);
  else if (!s.tuning && s.frequencyText !== before.frequencyText && s.frequencyText)
    said.push(`Frequency ${s.frequencyText}`);
  for (const name of SPOKEN.slice(1))
    if (words(s, name) !== words(before, name)) said.push(words(s, name));
  return said.filter(Boolean);
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
    this.describedBy = new Map(this.controls.map((c) => [c, c.getAttribute('aria-describedby')]));
    this.viewOnly = false;
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
    const lamps = s.lamps ?? {};
    for (const lamp of this.lamps) {
      const name = lamp.dataset.lamp;
      const look = lamps[name] ?? { look: 'unlit', colour: 'red', words: '' };
      lamp.className = `lamp ${look.colour} ${look.look}`;
      lamp.setAttribute('aria-label', `${name}: ${look.colour}`);
      const words = this.words.get(name);
      if (words) words.textContent = look.words;
      if (look.note) lamp.title = look.note;
      else lamp.removeAttribute('title');
    }
    for (const band of this.$('bands').children)
      band.classList.toggle('lit', band.firstChild.classList.contains('lit'));
    const connected = lamps.Connected ?? { look: 'unlit', words: '', note: '' };
    this.$('link').textContent = connected.note || connected.words;
    this.$('link').classList.toggle('trouble', connected.look !== 'lit');
    this.pressed('pattern-180', lamps['180 lamp']?.look === 'lit');
    this.pressed('pattern-bidirectional', lamps['BiDir lamp']?.look === 'lit');
    const follow = this.$('follow');
    follow.setAttribute('aria-checked', String(Boolean(s.follow?.enabled)));
    this.$('follow-status').textContent = s.follow?.status || lamps['Radio lamp']?.words || '';
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

  // What the credential allows, as the station's HTTP replies say it: a view-only token
  // sees every control disabled, and a screen reader hears why.
  setAccess(viewOnly, session) {
    this.viewOnly = viewOnly;
    this.$('view-only').hidden = !viewOnly;
    this.$('logout').hidden = !session;
    this.enableControls();
  }

  // Controls work only while the socket is open, and never for a view-only token.
  enableControls() {
    for (const control of this.controls) {
      control.disabled = !this.online || this.viewOnly;
      const described = [this.describedBy.get(control), this.viewOnly && 'view-only'].filter(Boolean).join(' ');
      if (described) control.setAttribute('aria-describedby', described);
      else control.removeAttribute('aria-describedby');
    }
  }

  // The socket's condition.
  setOnline(online) {
    this.online = online;
    this.pending = [];
    this.enableControls();
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
    this.setAccess(false, false);
    this.$('panel').hidden = true;
    this.$('banner').hidden = true;
    this.$('login').hidden = false;
    this.$('login-error').textContent = message ?? '';
    this.$('token').focus();
  }
}
