// Tevrin Studio: the page. Every picture it shows is drawn by the engine on
// the server; this file only lays out, uploads, asks and plays.
'use strict';

const $ = (selector) => document.querySelector(selector);
const FRAME_MS = 40;
const TILE_W = 320, TILE_H = 180;
const PICTURE_EXTENSIONS = /\.(jpe?g|png|webp|heic|heif)$/i;

const state = {
  settings: {},
  pictures: [],
  sounds: [],
  styles: [],
  targets: [],
  limits: { upload: 100 << 20, pictures: 1000, sounds: 50 },
  galleryKey: '',
};

// ---- Talking to the server ----------------------------------------------

// With `keepalive` the request outlives the page (sent as it is left).
async function api(method, path, body, keepalive = false) {
  const init = { method, headers: {}, keepalive };
  if (body !== undefined) {
    init.body = JSON.stringify(body);
    init.headers['Content-Type'] = 'application/json';
  }
  const response = await fetch(path, init);
  if (!response.ok) throw new Error(await errorText(response));
  return response;
}

// Edits waiting a moment to be sent, by what they change: each goes at once
// when a field loses focus or the page is hidden or left, so nothing typed
// is lost.
const pendingEdits = new Map();

function deferEdit(key, send, ms = 400) {
  const waiting = pendingEdits.get(key);
  if (waiting) clearTimeout(waiting.timer);
  const timer = setTimeout(() => {
    pendingEdits.delete(key);
    send(false);
  }, ms);
  pendingEdits.set(key, { timer, send });
}

// Sends every waiting edit; resolves when they are answered.
function flushEdits(leaving) {
  const sent = [];
  for (const { timer, send } of pendingEdits.values()) {
    clearTimeout(timer);
    sent.push(send(leaving));
  }
  pendingEdits.clear();
  return Promise.all(sent);
}

async function errorText(response) {
  try {
    const body = await response.json();
    if (body.error) return body.error;
  } catch (ignored) { /* not JSON */ }
  return `${response.status} ${response.statusText}`;
}

// Sends one file as the body of a POST, reporting bytes sent as it goes.
function upload(kind, file, onProgress) {
  return new Promise((resolve, reject) => {
    const [w, h] = screenSize();
    const request = new XMLHttpRequest();
    request.open('POST', `api/${kind}?name=${encodeURIComponent(file.name)}&w=${w}&h=${h}`);
    request.setRequestHeader('Content-Type', 'application/octet-stream');
    request.upload.onprogress = (event) => onProgress(event.loaded);
    request.onload = () => {
      let body = {};
      try { body = JSON.parse(request.responseText); } catch (ignored) { /* kept empty */ }
      if (request.status === 200) resolve(body);
      else reject(new Error(body.error || `${file.name}: ${request.status} ${request.statusText}`));
    };
    request.onerror = () => reject(new Error(`${file.name}: the Studio cannot be reached`));
    request.send(file);
  });
}

function say(text, good = false) {
  const box = $('#message');
  box.textContent = text;
  box.classList.toggle('good', good);
  box.hidden = !text;
}

// ---- The project ----------------------------------------------------------

function screenSize() {
  const choice = $('#preview-size').value;
  if (choice === 'window') return [Math.max(16, window.innerWidth), Math.max(16, window.innerHeight)];
  return choice.split('x').map(Number);
}

async function loadProject() {
  const [w, h] = screenSize();
  const sentBefore = settingsSent;
  const project = await (await api('GET', `api/project?w=${w}&h=${h}`)).json();
  $('#project-path').textContent = `Project: ${project.manifest}`;
  $('#screen-size-note').textContent = `${w}x${h}`;
  // Settings being edited, or saved since this was asked for, keep what was
  // typed; their saves answer with the project's settings.
  const editing = pendingEdits.has('settings') || unanswered > 0 || settingsSent !== sentBefore;
  if (!editing) state.settings = project.settings;
  state.pictures = project.pictures;
  state.sounds = project.sounds;
  state.styles = project.styles;
  state.targets = project.targets;
  state.limits = project.limits;
  if (!editing) showSettings();
  renderPictures();
  renderSounds();
  if (!$('#gallery').children.length) buildGallery();
  refreshGallery();
  showTargets();
  if (project.build.running) pollBuild();
  if (project.notices.length) say(project.notices.join(' '));
}

// ---- Pictures ----------------------------------------------------------------

function sizeText(bytes) {
  if (bytes >= 1 << 20) return `${(bytes / (1 << 20)).toFixed(1)} MB`;
  return `${Math.max(1, Math.round(bytes / 1024))} KB`;
}

function renderPictures() {
  const grid = $('#grid');
  grid.replaceChildren();
  state.pictures.forEach((picture, index) => {
    const item = document.createElement('li');
    item.className = 'thumb';
    item.draggable = true;
    item.dataset.id = picture.id;
    item.title = picture.file;
    const order = document.createElement('span');
    order.className = 'order';
    order.textContent = index + 1;
    const image = document.createElement('img');
    image.alt = picture.name;
    if (!picture.problem) image.src = `api/pictures/${picture.id}/thumb?side=240`;
    const name = document.createElement('div');
    name.className = 'name';
    name.textContent = picture.name;
    const size = document.createElement('div');
    size.className = 'size';
    size.textContent = picture.problem ? sizeText(picture.bytes)
      : `${picture.width}x${picture.height} · ${picture.format} · ${sizeText(picture.bytes)}`;
    item.append(order, image, name, size);
    for (const [kind, text] of [['warning', picture.warning], ['problem', picture.problem]]) {
      if (!text) continue;
      const note = document.createElement('div');
      note.className = kind;
      note.textContent = text;
      item.append(note);
    }
    item.append(pictureDetails(picture));
    const tools = document.createElement('div');
    tools.className = 'tools';
    tools.append(
      toolButton('◀', 'Earlier', () => movePicture(index, index - 1), index === 0),
      toolButton('▶', 'Later', () => movePicture(index, index + 1), index === state.pictures.length - 1),
      toolButton('✕ Remove', `Remove ${picture.name}`, () => removeItem(picture.id), false, 'remove'));
    item.append(tools);
    grid.append(item);
  });
}

// A picture's own caption and seconds, saved a moment after the last key.
function pictureDetails(picture) {
  const details = document.createElement('div');
  details.className = 'details';
  const caption = document.createElement('input');
  caption.className = 'own-caption';
  // The template's caption shows until one of its own is typed.
  caption.placeholder = picture.template_caption || 'Caption of its own';
  caption.setAttribute('aria-label', `Caption of ${picture.name}`);
  caption.value = picture.caption ?? '';
  const seconds = document.createElement('input');
  seconds.className = 'own-seconds';
  seconds.type = 'number';
  seconds.min = '0';
  seconds.max = '86400';
  seconds.step = '0.5';
  seconds.placeholder = 's';
  seconds.title = 'Seconds this picture stays (empty: the show\'s)';
  seconds.setAttribute('aria-label', `Seconds of ${picture.name}`);
  seconds.value = picture.seconds ?? '';
  const save = () => deferEdit(`picture ${picture.id}`, async (leaving) => {
    if (!seconds.checkValidity()) return say('Seconds must be from 0 to 86400');
    const body = {
      caption: caption.value === '' ? null : caption.value,
      seconds: seconds.value === '' ? null : parseFloat(seconds.value),
    };
    try {
      await api('PUT', `api/pictures/${picture.id}`, body, leaving);
      picture.caption = body.caption;
      picture.seconds = body.seconds;
      say('');
    } catch (error) {
      say(error.message);
    }
  });
  caption.addEventListener('input', save);
  seconds.addEventListener('input', save);
  // Dragging a thumbnail must not start from a field being edited.
  for (const field of [caption, seconds])
    field.addEventListener('dragstart', (event) => event.preventDefault());
  details.append(caption, seconds);
  return details;
}

function toolButton(text, title, action, disabled, className = '') {
  const button = document.createElement('button');
  button.type = 'button';
  button.textContent = text;
  button.title = title;
  button.disabled = disabled;
  button.className = className;
  button.addEventListener('click', action);
  return button;
}

async function saveOrder(ids) {
  try {
    await api('PUT', 'api/order', { pictures: ids });
  } catch (error) {
    say(error.message);
  }
  await loadProject();
}

function movePicture(from, to) {
  const ids = state.pictures.map((p) => p.id);
  const [moved] = ids.splice(from, 1);
  ids.splice(to, 0, moved);
  saveOrder(ids);
}

async function removeItem(id) {
  try {
    await api('DELETE', `api/items/${id}`);
  } catch (error) {
    say(error.message);
  }
  await loadProject();
}

// Reordering by dragging a thumbnail before or after another.
let draggedId = null;

function dropSide(event, target) {
  const box = target.getBoundingClientRect();
  return event.clientX < box.left + box.width / 2 ? 'before' : 'after';
}

function setUpReordering() {
  const grid = $('#grid');
  grid.addEventListener('dragstart', (event) => {
    const thumb = event.target.closest('.thumb');
    if (!thumb) return;
    draggedId = thumb.dataset.id;
    thumb.classList.add('dragged');
    event.dataTransfer.effectAllowed = 'move';
    event.dataTransfer.setData('application/x-tevrin-picture', draggedId);
  });
  grid.addEventListener('dragend', () => {
    draggedId = null;
    grid.querySelectorAll('.thumb').forEach((t) => t.classList.remove('dragged', 'drop-before', 'drop-after'));
  });
  grid.addEventListener('dragover', (event) => {
    const target = event.target.closest('.thumb');
    if (!draggedId || !target) return;
    event.preventDefault();
    event.stopPropagation();
    grid.querySelectorAll('.thumb').forEach((t) => t.classList.remove('drop-before', 'drop-after'));
    target.classList.add(`drop-${dropSide(event, target)}`);
  });
  grid.addEventListener('drop', (event) => {
    const target = event.target.closest('.thumb');
    if (!draggedId || !target) return;
    event.preventDefault();
    event.stopPropagation();
    const ids = state.pictures.map((p) => p.id).filter((id) => id !== draggedId);
    let at = ids.indexOf(target.dataset.id);
    if (at < 0) at = ids.length;
    else if (dropSide(event, target) === 'after') at += 1;
    ids.splice(at, 0, draggedId);
    draggedId = null;
    saveOrder(ids);
  });
}

// Files dropped or chosen: folders are walked, pictures sent one by one.
function entriesOf(dataTransfer) {
  const entries = [];
  for (const item of dataTransfer.items || []) {
    const entry = item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
    if (entry) entries.push(entry);
  }
  return entries;
}

async function filesOfEntries(entries) {
  const files = [];
  async function walk(entry, inFolder) {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      // A folder's other files are passed over; a file dropped alone is sent
      // and, when no picture, refused with its reason.
      if (!inFolder || PICTURE_EXTENSIONS.test(file.name)) files.push(file);
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (!batch.length) break;
        for (const child of batch) await walk(child, true);
      }
    }
  }
  for (const entry of entries) await walk(entry, false);
  return files;
}

const naturalOrder = (a, b) => a.name.localeCompare(b.name, undefined, { numeric: true });

async function sendFiles(kind, files) {
  files = [...files];
  if (!files.length) return;
  const limit = kind === 'pictures' ? state.limits.pictures : state.limits.sounds;
  const bar = $('#upload-progress');
  const total = files.reduce((sum, f) => sum + f.size, 0) || 1;
  let sent = 0;
  const failures = [];
  bar.hidden = false;
  bar.value = 0;
  say('');
  for (const file of files) {
    if (file.size > state.limits.upload) {
      failures.push(`${file.name} is larger than the ${state.limits.upload >> 20} MB a file may have`);
    } else if ((kind === 'pictures' ? state.pictures : state.sounds).length >= limit) {
      failures.push(`A project holds at most ${limit} ${kind}; ${file.name} was not added`);
    } else {
      try {
        const item = await upload(kind, file, (loaded) => { bar.value = (sent + loaded) / total; });
        (kind === 'pictures' ? state.pictures : state.sounds).push(item);
      } catch (error) {
        failures.push(error.message);
      }
    }
    sent += file.size;
    bar.value = sent / total;
  }
  bar.hidden = true;
  await loadProject();
  if (failures.length) say(failures.join('\n'));
}

function setUpDropping() {
  document.addEventListener('dragover', (event) => {
    if (draggedId) return;
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', (event) => {
    if (!event.relatedTarget) document.body.classList.remove('dragging');
  });
  document.addEventListener('drop', async (event) => {
    if (draggedId) return;
    event.preventDefault();
    document.body.classList.remove('dragging');
    // The drop's entries and files are only there during the event.
    const entries = entriesOf(event.dataTransfer);
    const plain = [...event.dataTransfer.files];
    const toSounds = event.target.closest && event.target.closest('#sound-drop, #sounds');
    let files = entries.length ? await filesOfEntries(entries) : plain;
    if (toSounds) return sendFiles('sounds', files);
    files = files.sort(naturalOrder);
    sendFiles('pictures', files);
  });
  $('#pictures-input').addEventListener('change', (event) => {
    sendFiles('pictures', [...event.target.files].sort(naturalOrder));
    event.target.value = '';
  });
  $('#folder-input').addEventListener('change', (event) => {
    sendFiles('pictures', [...event.target.files].filter((f) => PICTURE_EXTENSIONS.test(f.name))
      .sort((a, b) => a.webkitRelativePath.localeCompare(b.webkitRelativePath, undefined, { numeric: true })));
    event.target.value = '';
  });
  $('#sounds-input').addEventListener('change', (event) => {
    sendFiles('sounds', event.target.files);
    event.target.value = '';
  });
}

function renderSounds() {
  const list = $('#sounds');
  list.replaceChildren();
  for (const sound of state.sounds) {
    const item = document.createElement('li');
    item.dataset.id = sound.id;
    item.textContent = `${sound.name} (${sizeText(sound.bytes)})`;
    if (sound.problem) item.textContent += ` — ${sound.problem}`;
    item.append(toolButton('✕', `Remove ${sound.name}`, () => removeItem(sound.id), false));
    list.append(item);
  }
}

// ---- Settings ------------------------------------------------------------------

// Form field id -> how its value is read and shown.
const FIELDS = {
  title: 'text', author: 'text', email: 'text', web: 'text', caption: 'text',
  'font-name': 'text', 'font-size': 'int', 'font-color': 'color', interval: 'seconds',
  'random-picture': 'flag', 'random-style': 'select-flag', 'clear-old-image': 'flag',
  fit: 'choice', 'blur-borders': 'flag', screens: 'choice', 'sound-order': 'choice', mute: 'flag',
  'caption-shadow': 'flag', shuffle: 'flag', 'transition-ms': 'seconds',
  'caption-template': 'text', 'date-format': 'text',
};

function settingKey(field) { return $(`#${field}`).name; }

function showSettings() {
  for (const [field, kind] of Object.entries(FIELDS)) {
    const element = $(`#${field}`);
    if (element === document.activeElement && kind !== 'flag') continue;
    const value = state.settings[settingKey(field)];
    if (value === undefined) continue;
    if (kind === 'flag') element.checked = Boolean(value);
    else if (kind === 'select-flag') element.value = String(Boolean(value));
    else if (kind === 'seconds') element.value = value / 1000;
    else if (kind === 'color') element.value = String(value).toLowerCase();
    else element.value = value;
  }
  showChosen();
}

function readSettings() {
  const settings = {};
  for (const [field, kind] of Object.entries(FIELDS)) {
    const element = $(`#${field}`);
    if (kind !== 'flag' && !element.checkValidity()) continue;
    let value;
    if (kind === 'flag') value = element.checked;
    else if (kind === 'select-flag') value = element.value === 'true';
    else if (kind === 'int') value = parseInt(element.value, 10);
    else if (kind === 'seconds') value = Math.round(parseFloat(element.value) * 1000);
    else if (kind === 'color') value = element.value.toUpperCase();
    else value = element.value;
    if (typeof value === 'number' && Number.isNaN(value)) continue;
    settings[settingKey(field)] = value;
  }
  return settings;
}

let saving = Promise.resolve();
// Saves are sent one after another; only the answer to the last one
// replaces the page's settings, so an older answer never takes back a
// change made since.
let unanswered = 0;
// Saves of the settings sent so far.
let settingsSent = 0;

function scheduleSave() {
  deferEdit('settings', (leaving) => saveSettings(readSettings(), leaving));
}

function saveSettings(changes, leaving = false) {
  settingsSent += 1;
  // A page being left cannot wait for the saves before it.
  if (leaving) return api('PUT', 'api/settings', changes, true).catch(() => {});
  unanswered += 1;
  saving = saving.then(async () => {
    try {
      const response = await (await api('PUT', 'api/settings', changes)).json();
      unanswered -= 1;
      if (unanswered > 0) return;
      const before = state.settings;
      state.settings = response.settings;
      say('');
      showChosen();
      refreshGallery();
      // The pictures' notes and template captions follow these.
      if (['fit', 'caption', 'date-format'].some((key) => (before[key] ?? '') !== (state.settings[key] ?? '')))
        loadProject();
    } catch (error) {
      unanswered -= 1;
      say(error.message);
    }
  });
  return saving;
}

// ---- Transitions -----------------------------------------------------------------

function chosenStyles() { return state.settings.styles || []; }

function showChosen() {
  const chosen = chosenStyles();
  $('#chosen-count').textContent = chosen.length
    ? `${chosen.length} ticked, in the order ticked: ${chosen.join(', ')}`
    : 'none ticked: all of them';
  document.querySelectorAll('.tile').forEach((tile) => {
    const on = chosen.includes(Number(tile.dataset.style));
    tile.classList.toggle('chosen', on);
    tile.querySelector('input').checked = on;
  });
}

function chooseStyle(number, on) {
  const chosen = chosenStyles().filter((n) => n !== number);
  if (on) chosen.push(number);
  state.settings.styles = chosen;
  showChosen();
  return saveSettings({ styles: chosen });
}

// The first two pictures the page can show; the strips of every style play
// from the first to the second.
function pairQuery() {
  const usable = state.pictures.filter((p) => !p.problem);
  if (usable.length >= 2) return `&from=${usable[0].id}&to=${usable[1].id}`;
  if (usable.length === 1) return `&to=${usable[0].id}`;
  return '';
}

// (The server reads the fit from the project; `look` only keeps the
// browser from showing a strip drawn for another.)
function stripUrl(style, w, h) {
  return `api/transition?style=${style}&w=${w}&h=${h}&frames=25${pairQuery()}` +
    `&look=${state.settings.fit}${state.settings['blur-borders'] ? '+blur' : ''}`;
}

// Strips load a few at a time, for the tiles in view first.
const loadQueue = [];
let loading = 0;

function queueStrip(tile) {
  if (tile.strip || tile.queued) return;
  tile.queued = true;
  loadQueue.push(tile);
  pumpStrips();
}

function pumpStrips() {
  while (loading < 4 && loadQueue.length) {
    const tile = loadQueue.shift();
    const key = state.galleryKey;
    const image = new Image();
    loading += 1;
    image.onload = () => {
      loading -= 1;
      tile.queued = false;
      if (key === state.galleryKey) { tile.strip = image; tile.shown = -1; }
      pumpStrips();
    };
    image.onerror = () => { loading -= 1; tile.queued = false; pumpStrips(); };
    image.src = stripUrl(tile.dataset.style, TILE_W, TILE_H);
  }
}

const visibleTiles = new Set();
const tileObserver = new IntersectionObserver((entries) => {
  for (const entry of entries) {
    if (entry.isIntersecting) { visibleTiles.add(entry.target); queueStrip(entry.target); }
    else visibleTiles.delete(entry.target);
  }
}, { rootMargin: '200px' });

function buildGallery() {
  const gallery = $('#gallery');
  for (const style of state.styles) {
    const tile = document.createElement('div');
    tile.className = 'tile';
    tile.dataset.style = style.number;
    tile.title = `Style ${style.number}: see it large`;
    const canvas = document.createElement('canvas');
    canvas.width = TILE_W;
    canvas.height = TILE_H;
    const label = document.createElement('label');
    label.className = 'label';
    const name = document.createElement('span');
    name.textContent = style.number === 0 ? '0 · plain cut' : `${style.number} · ${style.family}`;
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.title = 'Use in the saver';
    box.addEventListener('click', (event) => event.stopPropagation());
    box.addEventListener('change', () => chooseStyle(style.number, box.checked));
    label.append(name, box);
    label.addEventListener('click', (event) => { if (event.target !== box) event.preventDefault(); });
    tile.append(canvas, label);
    tile.addEventListener('click', (event) => { if (event.target !== box) openPlayer(style.number); });
    gallery.append(tile);
    tileObserver.observe(tile);
  }
  showChosen();
}

// New pictures or another fit: every strip is drawn again.
function refreshGallery() {
  $('#gallery-samples').hidden = state.pictures.some((picture) => !picture.problem);
  const key = pairQuery() + state.settings.fit + state.settings['blur-borders'];
  if (key === state.galleryKey) return;
  state.galleryKey = key;
  loadQueue.length = 0;
  document.querySelectorAll('.tile').forEach((tile) => {
    tile.strip = null;
    tile.queued = false;
  });
  visibleTiles.forEach(queueStrip);
}

// A transition plays for 25 frames of 40 ms, then rests on its last frame;
// each tile of the gallery is at another point of the cycle.
const CYCLE_MS = 1600;

function frameAt(time) {
  const phase = time % CYCLE_MS;
  return Math.min(24, Math.floor(phase / FRAME_MS));
}

function animate(time) {
  for (const tile of visibleTiles) {
    const k = frameAt(time + Number(tile.dataset.style) * 173);
    if (!tile.strip || tile.shown === k) continue;
    tile.firstChild.getContext('2d').drawImage(tile.strip, 0, k * TILE_H, TILE_W, TILE_H, 0, 0, TILE_W, TILE_H);
    tile.shown = k;
  }
  const k = frameAt(time);
  if (player.strip && player.shown !== k) {
    $('#player-canvas').getContext('2d').drawImage(player.strip, 0, k * 540, 960, 540, 0, 0, 960, 540);
    player.shown = k;
  }
  requestAnimationFrame(animate);
}

const player = { style: null, strip: null, shown: -1 };

function openPlayer(style) {
  player.style = style;
  player.strip = null;
  const info = state.styles[style];
  $('#player-title').textContent = `Transition ${style}${info ? ` (${info.family})` : ''}`;
  $('#player-use').checked = chosenStyles().includes(style);
  const canvas = $('#player-canvas');
  canvas.getContext('2d').clearRect(0, 0, canvas.width, canvas.height);
  const image = new Image();
  $('#player-loading').hidden = false;
  image.onload = () => {
    if (player.style !== style) return;
    player.strip = image;
    player.shown = -1;
    $('#player-loading').hidden = true;
  };
  image.onerror = () => {
    if (player.style === style) $('#player-loading').textContent = 'This transition could not be drawn.';
    say(`Transition ${style} could not be drawn`);
  };
  $('#player-loading').textContent = 'Drawing the transition…';
  image.src = stripUrl(style, 960, 540);
  $('#player').showModal();
}

function setUpPlayer() {
  $('#player-close').addEventListener('click', () => $('#player').close());
  $('#player').addEventListener('close', () => { player.style = null; player.strip = null; });
  $('#player-use').addEventListener('change', (event) => chooseStyle(player.style, event.target.checked));
  $('#choose-none').addEventListener('click', () => {
    state.settings.styles = [];
    showChosen();
    saveSettings({ styles: [] });
  });
}

// ---- Preview ---------------------------------------------------------------------------

const preview = { run: 0 };
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function fetchStep(step, w, h, view) {
  const response = await api('GET', `api/show?step=${step}&w=${w}&h=${h}&view=${view}`);
  return {
    strip: await createImageBitmap(await response.blob()),
    style: Number(response.headers.get('X-Style')),
    picture: response.headers.get('X-Picture'),
    caption: decodeURIComponent(response.headers.get('X-Caption-Text') || ''),
    frames: Number(response.headers.get('X-Frames')),
    delay: Number(response.headers.get('X-Frame-Delay')),
    interval: Number(response.headers.get('X-Interval')),
  };
}

async function playPreview() {
  const run = ++preview.run;
  const [w, h] = screenSize();
  const view = Math.min(w, 960);
  const canvas = $('#preview');
  canvas.width = view;
  canvas.height = Math.max(1, Math.round(view * h / w));
  const context = canvas.getContext('2d');
  context.fillStyle = '#000';
  context.fillRect(0, 0, canvas.width, canvas.height);
  $('#preview-play').textContent = 'Stop';
  const info = $('#preview-info');
  info.textContent = 'Drawing the first transition…';
  let next = fetchStep(0, w, h, view);
  try {
    for (let step = 0; preview.run === run; step += 1) {
      const current = await next;
      if (preview.run !== run) break;
      next = fetchStep(step + 1, w, h, view);
      next.catch(() => {});
      const picture = state.pictures.find((p) => p.id === current.picture);
      info.textContent = `Picture ${state.pictures.indexOf(picture) + 1} (${picture ? picture.name : '?'}) · ` +
        `transition ${current.style}${current.caption ? ` · “${current.caption}”` : ''}`;
      const frameH = current.strip.height / current.frames;
      const start = performance.now();
      for (let k = 0; k < current.frames && preview.run === run; k += 1) {
        context.drawImage(current.strip, 0, k * frameH, current.strip.width, frameH, 0, 0, canvas.width, canvas.height);
        await sleep(start + (k + 1) * current.delay - performance.now());
      }
      current.strip.close();
      if (current.interval === 0) break; // the saver shows one picture and stays
      await sleep(current.interval);
    }
  } catch (error) {
    if (preview.run === run) say(error.message);
  }
  if (preview.run === run) stopPreview();
}

function stopPreview() {
  preview.run += 1;
  $('#preview-play').textContent = 'Play';
}

// ---- Build ------------------------------------------------------------------------------

function showTargets() {
  for (const target of ['windows', 'linux']) {
    const box = $(`#build-${target}`);
    const available = state.targets.includes(target);
    box.disabled = !available;
    box.parentElement.title = available ? '' : `This tool has no ${target} runtime beside it`;
    if (!available) box.checked = false;
  }
}

async function startBuild() {
  const targets = ['windows', 'linux'].filter((t) => $(`#build-${t}`).checked);
  if (!targets.length) return say('Choose Windows, Linux or both');
  await flushEdits(false);
  await saveSettings(readSettings());
  try {
    await api('POST', 'api/build', { targets });
    $('#build-result').replaceChildren();
    pollBuild();
  } catch (error) {
    say(error.message);
  }
}

async function pollBuild() {
  const bar = $('#build-progress');
  const button = $('#build-button');
  let status;
  try {
    status = await (await api('GET', 'api/build')).json();
  } catch (error) {
    return say(error.message);
  }
  bar.hidden = false;
  bar.value = status.total ? status.done / status.total : 0;
  button.disabled = status.running;
  $('#build-what').textContent = status.running ? `Packing ${status.what}…` : '';
  if (status.running) {
    setTimeout(pollBuild, 250);
    return;
  }
  if (status.error) {
    bar.hidden = true;
    return say(`The saver was not built: ${status.error}`);
  }
  const list = $('#build-result');
  list.replaceChildren();
  for (const output of status.outputs) {
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = output.download;
    link.download = output.name;
    link.textContent = `Download ${output.name}`;
    item.append(link, ` (${output.target === 'windows' ? 'Windows' : 'Linux'}, ${sizeText(output.bytes)}) — saved as ${output.path}`);
    list.append(item);
  }
  say('The saver is built.', true);
}

// ---- Start ---------------------------------------------------------------------------------

document.addEventListener('DOMContentLoaded', async () => {
  setUpReordering();
  setUpDropping();
  setUpPlayer();
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') flushEdits(true);
  });
  window.addEventListener('pagehide', () => flushEdits(true));
  document.addEventListener('focusout', () => flushEdits(false));
  $('#settings').addEventListener('input', scheduleSave);
  $('#settings').addEventListener('change', scheduleSave);
  $('#settings').addEventListener('submit', (event) => event.preventDefault());
  $('#preview-play').addEventListener('click', () => {
    if ($('#preview-play').textContent === 'Stop') stopPreview(); else playPreview();
  });
  $('#preview-size').addEventListener('change', () => {
    loadProject();
    if ($('#preview-play').textContent === 'Stop') playPreview();
  });
  $('#build-button').addEventListener('click', startBuild);
  requestAnimationFrame(animate);
  try {
    await loadProject();
    document.body.dataset.ready = 'yes';
  } catch (error) {
    say(`The Studio cannot be reached: ${error.message}`);
  }
});
