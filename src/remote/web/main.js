// The page's line to the station. It asks for the state over HTTP first (a 401 shows
// the login form; a token goes only in a POST body), then keeps one WebSocket open for
// the states that follow and for the commands. A socket that drops is opened again
// after 1, 2 and 5 s, then every 5 s, each try starting with the HTTP state again.

import { View } from './view.js';

const RETRY_SECONDS = [1, 2, 5];
const STATE_URL = '/api/v1/state';
const LOGIN_URL = '/api/v1/login';
const LOGOUT_URL = '/api/v1/logout';
const EVENTS_URL = `${location.protocol === 'https:' ? 'wss' : 'ws'}://${location.host}/api/v1/events`;

let socket = null;
let tries = 0;
let retryTimer = 0;

const view = new View(document, (message) => {
  if (socket?.readyState !== WebSocket.OPEN) return false;
  socket.send(JSON.stringify(message));
  return true;
});
view.setOnline(false);

async function connect() {
  clearTimeout(retryTimer);
  let response;
  try {
    response = await fetch(STATE_URL, { cache: 'no-store' });
  } catch {
    return retry();
  }
  if (response.status === 401) return view.showLogin();
  if (!response.ok) return retry();
  const access = response.headers.get('Tarvik-Access') ?? '';
  view.setAccess(access.startsWith('view'), access.endsWith(' session'));
  try {
    view.render(await response.json());
  } catch {
    return retry();
  }
  openSocket();
}

// One socket at a time: a second login, or a login during a reconnect, closes the
// socket before it, which would otherwise stay open, rendering and counted as a client.
function openSocket() {
  const old = socket;
  socket = null;
  old?.close();
  const ws = new WebSocket(EVENTS_URL);
  socket = ws;
  ws.addEventListener('open', () => {
    tries = 0;
    view.setOnline(true);
  });
  ws.addEventListener('message', (event) => {
    let message;
    try {
      message = JSON.parse(event.data);
    } catch {
      return;
    }
    if (message?.type === 'state') view.render(message);
    else if (message?.type === 'result') view.result(message);
  });
  ws.addEventListener('close', () => {
    if (socket !== ws) return;
    socket = null;
    view.setOnline(false);
    retry();
  });
}

function retry() {
  const seconds = RETRY_SECONDS[Math.min(tries, RETRY_SECONDS.length - 1)];
  tries += 1;
  view.lost(seconds);
  retryTimer = setTimeout(connect, seconds * 1000);
}

document.getElementById('login').addEventListener('submit', async (event) => {
  event.preventDefault();
  const field = document.getElementById('token');
  let response;
  try {
    response = await fetch(LOGIN_URL, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ token: field.value }),
    });
  } catch {
    return view.showLogin('Cannot reach the station.');
  }
  if (!response.ok) {
    field.select();
    return view.showLogin(response.status === 401 ? 'Wrong token.' : `Login failed (HTTP ${response.status}).`);
  }
  field.value = '';
  connect();
});

// The session ends at the station, and with it this page's socket.
document.getElementById('logout').addEventListener('click', async () => {
  clearTimeout(retryTimer);
  const old = socket;
  socket = null;
  try {
    await fetch(LOGOUT_URL, { method: 'POST' });
  } catch {
    // Unreachable: the station forgets every session when it ends.
  }
  old?.close();
  view.setOnline(false);
  view.showLogin('Logged out.');
});

connect();
