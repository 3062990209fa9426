// SPDX-License-Identifier: MIT
// Tevrin Studio: the page. Every picture it shows is drawn by the engine on
// the server; this file only lays out, uploads, asks and plays.
'use strict';

const $ = (selector) => document.querySelector(selector);
const FRAME_MS = 40;
// A tile's frames are drawn as large as the tile shows them on this
// screen: its width in device pixels, in steps of 80, from 160 to 480.
let TILE_W = 320, TILE_H = 180;
const PICTURE_EXTENSIONS = /\.(jpe?g|png|webp|heic|heif)$/i;

const state = {
  settings: {},
  pictures: [],
  sounds: [],
  styles: [],
  targets: [],
  limits: { upload: 100 << 20, pictures: 1000, sounds: 50 },
  galleryKey: '',
  version: '',
  command: '',
  builds: [],
};

// ---- Talking to the server ----------------------------------------------

// Every change is sent with the project's version it was made on and this
// tab's name; the server refuses one made on a version another tab has
// changed since (409), and the page then shows the project as it is.
const TAB = Math.random().toString(36).slice(2) + Date.now().toString(36);

class ConflictError extends Error {}
class StoppedError extends Error {}

// With `keepalive` the request outlives the page (sent as it is left).
async function api(method, path, body, keepalive = false) {
  const init = { method, headers: {}, keepalive };
  if (body !== undefined) {
    init.body = JSON.stringify(body);
    init.headers['Content-Type'] = 'application/json';
  }
  if (method !== 'GET') {
    init.headers['X-Project-Version'] = state.version;
    init.headers['X-Tab'] = TAB;
  }
  let response;
  try {
    response = await fetch(path, init);
  } catch (error) {
    if (!keepalive) studioStopped();
    throw new StoppedError('Tevrin Studio has stopped');
  }
  const version = response.headers.get('X-Project-Version');
  if (version) state.version = version;
  if (response.status === 409) {
    const answer = await response.clone().json().catch(() => ({}));
    if (answer.conflict) throw new ConflictError(answer.error);
  }
  if (!response.ok) {
    const error = new Error(await errorText(response.clone()));
    error.field = await response.json().then((b) => b.field).catch(() => undefined);
    throw error;
  }
  return response;
}

// Changes go one after another, so each is made on the version the last
// one left.
let changes = Promise.resolve();
let changing = 0; // changes sent and not yet answered
function serially(send) {
  changing += 1;
  const done = changes.then(send).finally(() => { changing -= 1; });
  changes = done.catch(() => {});
  return done;
}

// What a refused change meant to do, said once the page shows the project
// as it is now.
async function refused(what) {
  await loadProject(true);
  say(`Not saved: this project was changed in another tab or window since this page loaded it. ` +
    `The page now shows it as it is; make the change again if you still want it: ${what}.`);
}

// Reports a failed change: a conflict, a stopped Studio, or the server's reason.
function failed(error, what) {
  if (error instanceof ConflictError) return refused(what);
  if (error instanceof StoppedError) return undefined;
  return say(error.message);
}

// Edits waiting a moment to be sent, by what they change: each goes at once
// when a field loses focus or the page is hidden or left, so nothing typed
// is lost. One that could not be sent (the Studio stopped) waits for it to
// come back.
const pendingEdits = new Map();

function deferEdit(key, send, ms = 400) {
  const waiting = pendingEdits.get(key);
  if (waiting) clearTimeout(waiting.timer);
  const retried = async (leaving) => {
    try {
      await send(leaving);
    } catch (error) {
      if (!(error instanceof StoppedError)) throw error;
      if (!pendingEdits.has(key)) pendingEdits.set(key, { timer: null, send: retried });
    }
  };
  const timer = setTimeout(() => {
    pendingEdits.delete(key);
    retried(false);
  }, ms);
  pendingEdits.set(key, { timer, send: retried });
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

// ---- When the Studio has stopped ---------------------------------------------

let stoppedTimer = null;

function studioStopped() {
  // Closed from this page: a request that fails now is no news.
  if (state.closed) return;
  const box = $('#stopped');
  $('#stopped-command').textContent = state.command || 'tevrin studio';
  box.hidden = false;
  if (!stoppedTimer) stoppedTimer = setTimeout(reconnect, 2000);
}

// The page asks now and then whether the Studio is still there, so it can
// say so before anything is lost.
async function watchStudio() {
  if (state.closed) return;
  if (!stoppedTimer && document.visibilityState === 'visible') {
    try {
      const response = await fetch('api/build');
      if (!response.ok && response.status !== 403) throw new Error(String(response.status));
    } catch (error) {
      studioStopped();
    }
  }
  setTimeout(watchStudio, 3000);
}

// Asks every two seconds until the Studio answers on this address again.
async function reconnect() {
  stoppedTimer = null;
  try {
    const response = await fetch('api/build');
    if (!response.ok) throw new Error(String(response.status));
  } catch (error) {
    stoppedTimer = setTimeout(reconnect, 2000);
    return;
  }
  $('#stopped').hidden = true;
  await loadProject(true);
  document.body.dataset.ready = 'yes';
  flushEdits(false);
}

async function errorText(response) {
  try {
    const body = await response.json();
    if (body.error) return body.error;
  } catch (ignored) { /* not JSON */ }
  return `${response.status} ${response.statusText}`;
}

// Sends one file as the body of a POST, reporting bytes sent as it goes.
// `again`: a picture the project lists already is added once more.
function upload(kind, file, onProgress, again = false) {
  return new Promise((resolve, reject) => {
    const [w, h] = screenSize();
    const request = new XMLHttpRequest();
    request.open('POST', `api/${kind}?name=${encodeURIComponent(file.name)}&w=${w}&h=${h}${again ? '&again=1' : ''}`);
    request.setRequestHeader('Content-Type', 'application/octet-stream');
    request.setRequestHeader('X-Project-Version', state.version);
    request.setRequestHeader('X-Tab', TAB);
    request.upload.onprogress = (event) => onProgress(event.loaded);
    request.onload = () => {
      let body = {};
      try { body = JSON.parse(request.responseText); } catch (ignored) { /* kept empty */ }
      const version = request.getResponseHeader('X-Project-Version');
      if (version) state.version = version;
      if (request.status === 200) return resolve(body);
      if (body.conflict) return reject(new ConflictError(body.error));
      const error = new Error(body.error || `${file.name}: ${request.status} ${request.statusText}`);
      error.duplicate = body.duplicate;
      reject(error);
    };
    request.onerror = () => { studioStopped(); reject(new StoppedError(`${file.name}: the Studio cannot be reached`)); };
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

// `force`: the project's settings replace what the page shows, even while
// they are being edited (after a change was refused).
async function loadProject(force = false) {
  const [w, h] = screenSize();
  const sentBefore = settingsSent;
  const project = await (await api('GET', `api/project?w=${w}&h=${h}`)).json();
  $('#project-path').textContent = `Project: ${project.manifest}`;
  $('#screen-size-note').textContent = `${w}x${h}`;
  // Settings being edited, or saved since this was asked for, keep what was
  // typed; their saves answer with the project's settings.
  const editing = !force && (pendingEdits.has('settings') || unanswered > 0 || settingsSent !== sentBefore);
  if (!editing) state.settings = project.settings;
  // A change answered meanwhile left a newer version than this answer's.
  if (force || changing === 0) state.version = project.version;
  state.command = project.command;
  state.builds = project.builds;
  state.pictures = project.pictures;
  state.sounds = project.sounds;
  state.styles = project.styles;
  state.targets = project.targets;
  state.limits = project.limits;
  if (!editing) showSettings(force);
  renderPictures();
  renderSounds();
  if (!$('#gallery').children.length) buildGallery();
  refreshGallery();
  showTargets();
  showBuilds();
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
    image.loading = 'lazy';
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
  seconds.step = 'any';
  seconds.placeholder = 's';
  seconds.title = 'Seconds this picture stays, 0 to 86400 (empty: the show\'s)';
  seconds.setAttribute('aria-label', `Seconds of ${picture.name}`);
  seconds.dataset.label = 'Seconds';
  seconds.value = picture.seconds ?? '';
  const save = () => {
    if (!fieldIsGood(seconds)) return;
    deferEdit(`picture ${picture.id}`, (leaving) => {
      const body = {
        caption: caption.value === '' ? null : caption.value,
        seconds: seconds.value === '' ? null : parseFloat(seconds.value),
      };
      const send = async () => {
        try {
          await api('PUT', `api/pictures/${picture.id}`, body, leaving);
          picture.caption = body.caption;
          picture.seconds = body.seconds;
          say('');
        } catch (error) {
          if (error instanceof StoppedError) throw error;
          const what = [];
          if (body.caption !== (picture.caption ?? null)) what.push(`the caption of ${picture.name} (“${body.caption ?? ''}”)`);
          if (body.seconds !== (picture.seconds ?? null)) what.push(`the seconds of ${picture.name} (${body.seconds ?? 'the show\'s'})`);
          failed(error, what.join(' and ') || `the details of ${picture.name}`);
        }
      };
      return leaving ? send() : serially(send);
    });
  };
  caption.addEventListener('input', save);
  seconds.addEventListener('input', save);
  seconds.addEventListener('change', () => keepGoodValue(seconds, picture.seconds ?? ''));
  // Dragging a thumbnail must not start from a field being edited.
  for (const field of [caption, seconds])
    field.addEventListener('dragstart', (event) => event.preventDefault());
  details.append(caption, seconds, fieldNote(seconds));
  return details;
}

// ---- Fields that refuse bad values --------------------------------------------

// The note under a field that says what it takes when a value is refused.
function fieldNote(field) {
  const note = document.createElement('div');
  note.className = 'field-error';
  note.setAttribute('role', 'alert');
  note.hidden = true;
  field.fieldNote = note;
  return note;
}

function rangeText(field) {
  const whole = field.step === '' || Number.isInteger(Number(field.step));
  return `${whole && field.step !== 'any' ? 'a whole number' : 'a number'} from ${field.min} to ${field.max}`;
}

// Whether the field's value can be saved; when not, its note says why.
function fieldIsGood(field) {
  const good = field.type !== 'number' || (field.checkValidity() && !(field.required && field.value === ''));
  if (!good) showFieldNote(field, `${field.dataset.label} must be ${rangeText(field)}.`);
  return good;
}

// A note goes once the field is typed in again with a value it takes.
document.addEventListener('input', (event) => {
  const field = event.target;
  if (field.fieldNote && !field.fieldNote.hidden && fieldIsGood(field)) showFieldNote(field, '');
});

function showFieldNote(field, text) {
  const note = field.fieldNote;
  if (!note) return;
  note.textContent = text;
  note.hidden = !text;
  field.classList.toggle('refused', Boolean(text));
}

// When a field is left with a value it cannot take, the last good value
// comes back, and the note says so.
function keepGoodValue(field, good) {
  if (fieldIsGood(field)) return;
  const refusedText = field.value === '' ? 'nothing' : `“${field.value}”`;
  field.value = good;
  showFieldNote(field, `${field.dataset.label} must be ${rangeText(field)}; ${refusedText} was not saved, ` +
    `and ${good === '' ? 'no value' : good} was kept.`);
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
    await serially(() => api('PUT', 'api/order', { pictures: ids }));
  } catch (error) {
    return failed(error, 'the new order of the pictures');
  }
  await loadProject();
}

function movePicture(from, to) {
  const ids = state.pictures.map((p) => p.id);
  const [moved] = ids.splice(from, 1);
  ids.splice(to, 0, moved);
  saveOrder(ids);
}

// Takes an item off and offers it back for a while ("Removed – Undo").
async function removeItem(id) {
  const item = [...state.pictures, ...state.sounds].find((i) => i.id === id);
  try {
    await serially(() => api('DELETE', `api/items/${id}`));
  } catch (error) {
    return failed(error, `removing ${item ? item.name : id}`);
  }
  await loadProject();
  offerUndo(id, item ? item.name : id);
}

let undoTimer = null;

function offerUndo(id, name) {
  const box = $('#undo');
  $('#undo-text').textContent = `Removed ${name}.`;
  box.dataset.id = id;
  box.hidden = false;
  clearTimeout(undoTimer);
  undoTimer = setTimeout(() => { box.hidden = true; }, 10000);
}

async function undoRemove() {
  const box = $('#undo');
  box.hidden = true;
  clearTimeout(undoTimer);
  try {
    await serially(() => api('POST', `api/items/${box.dataset.id}/restore`));
  } catch (error) {
    return failed(error, `putting ${$('#undo-text').textContent.replace(/^Removed |\.$/g, '')} back`);
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

// Pictures the project had already, held back until the user asks for them.
let heldBack = [];

async function sendFiles(kind, files, again = false) {
  files = [...files];
  if (!files.length) return;
  const limit = kind === 'pictures' ? state.limits.pictures : state.limits.sounds;
  const bar = $('#upload-progress');
  const total = files.reduce((sum, f) => sum + f.size, 0) || 1;
  let sent = 0;
  const failures = [];
  const twice = [];
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
        const item = await serially(() => upload(kind, file, (loaded) => { bar.value = (sent + loaded) / total; }, again));
        (kind === 'pictures' ? state.pictures : state.sounds).push(item);
      } catch (error) {
        if (error instanceof ConflictError) {
          await refused(`adding ${file.name}`);
          break;
        }
        if (error.duplicate) twice.push({ file, text: error.message });
        else failures.push(error.message);
      }
    }
    sent += file.size;
    bar.value = sent / total;
  }
  bar.hidden = true;
  await loadProject();
  if (failures.length) say(failures.join('\n'));
  heldBack = twice.map((t) => t.file);
  const box = $('#twice');
  box.hidden = !twice.length;
  $('#twice-text').textContent = twice.length
    ? `${twice.map((t) => t.text).join('. ')}. ${twice.length === 1 ? 'It was' : 'They were'} not added again.`
    : '';
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
  'caption-template': 'text', 'date-format': 'text', motion: 'switch',
};

// A checkbox that stands for one of two values (its data-on and data-off).
const CHECKBOXES = ['flag', 'switch'];

function settingKey(field) { return $(`#${field}`).name; }

// `force`: even the field being typed in shows the project's value.
function showSettings(force = false) {
  for (const [field, kind] of Object.entries(FIELDS)) {
    const element = $(`#${field}`);
    if (element === document.activeElement && !CHECKBOXES.includes(kind) && !force) continue;
    const value = state.settings[settingKey(field)];
    if (value === undefined) continue;
    if (kind === 'flag') element.checked = Boolean(value);
    else if (kind === 'switch') element.checked = value === element.dataset.on;
    else element.value = shownValue(kind, value);
    showFieldNote(element, '');
  }
  showChosen();
}

// A setting as its field shows it.
function shownValue(kind, value) {
  if (kind === 'flag') return value ? 'on' : '';
  if (kind === 'select-flag') return String(Boolean(value));
  if (kind === 'seconds') return String(value / 1000);
  if (kind === 'color') return String(value).toLowerCase();
  return String(value);
}

// The settings whose fields differ from the project's and can be saved;
// a field that cannot says why beside it.
function readSettings() {
  const settings = {};
  for (const [field, kind] of Object.entries(FIELDS)) {
    const element = $(`#${field}`);
    // A field the project has no value for, left empty, is not asked about.
    const checkbox = CHECKBOXES.includes(kind);
    if (!checkbox && element.value === '' && state.settings[settingKey(field)] === undefined) continue;
    if (!checkbox && !fieldIsGood(element)) continue;
    let value;
    if (kind === 'flag') value = element.checked;
    else if (kind === 'switch') value = element.checked ? element.dataset.on : element.dataset.off;
    else if (kind === 'select-flag') value = element.value === 'true';
    else if (kind === 'int') value = parseInt(element.value, 10);
    else if (kind === 'seconds') value = Math.round(parseFloat(element.value) * 1000);
    else if (kind === 'color') value = element.value.toUpperCase();
    else value = element.value;
    if (typeof value === 'number' && Number.isNaN(value)) continue;
    const key = settingKey(field);
    if (JSON.stringify(value) !== JSON.stringify(state.settings[key])) settings[key] = value;
  }
  return settings;
}

// Each number field says what it takes, and keeps its last good value when
// left with another.
function setUpFields() {
  for (const [field, kind] of Object.entries(FIELDS)) {
    const element = $(`#${field}`);
    if (element.type !== 'number') continue;
    const label = element.closest('label');
    element.dataset.label = label.firstChild.textContent.trim();
    const range = document.createElement('span');
    range.className = 'range';
    range.textContent = `${element.min} to ${element.max}`;
    label.firstChild.after(range);
    label.after(fieldNote(element));
    element.addEventListener('change', () => {
      const value = state.settings[settingKey(field)];
      keepGoodValue(element, value === undefined ? '' : shownValue(kind, value));
    });
  }
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

// How a refused change of the settings is told: "the title (“Sea”)".
function describeSettings(changes) {
  return Object.entries(changes).map(([key, value]) => {
    const field = [...document.querySelectorAll('#settings [name]')].find((e) => e.name === key);
    const label = field ? (field.dataset.label || field.closest('label').firstChild.textContent.trim()) : key;
    return `${label.toLowerCase()} (${Array.isArray(value) ? value.join(', ') : JSON.stringify(value)})`;
  }).join(', ');
}

function saveSettings(changes, leaving = false) {
  if (!Object.keys(changes).length) return Promise.resolve();
  settingsSent += 1;
  // A page being left cannot wait for the saves before it.
  if (leaving) return api('PUT', 'api/settings', changes, true).catch(() => {});
  unanswered += 1;
  saving = serially(async () => {
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
      if (error instanceof StoppedError) throw error;
      if (error.field) {
        const field = [...document.querySelectorAll('#settings [name]')].find((e) => e.name === error.field);
        if (field) {
          showFieldNote(field, error.message);
          const kind = FIELDS[field.id];
          const good = state.settings[error.field];
          if (field !== document.activeElement && good !== undefined) field.value = shownValue(kind, good);
        }
      }
      if (!error.field) failed(error, describeSettings(changes));
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

// Strips load six at a time (what a browser sends to one server at once),
// for the tiles in view first.
const loadQueue = [];
let loading = 0;

function queueStrip(tile) {
  if (tile.strip || tile.queued) return;
  tile.queued = true;
  loadQueue.push(tile);
  pumpStrips();
}

// A request's place is free once its bytes are in: the picture is decoded
// off the page's thread meanwhile.
function pumpStrips() {
  while (loading < 6 && loadQueue.length) {
    const tile = loadQueue.shift();
    const key = state.galleryKey;
    loading += 1;
    let released = false;
    const release = () => {
      if (released) return;
      released = true;
      loading -= 1;
      pumpStrips();
    };
    fetch(stripUrl(tile.dataset.style, tile.firstChild.width, tile.firstChild.height))
      .then((response) => {
        if (!response.ok) throw new Error(String(response.status));
        return response.blob();
      })
      .then((blob) => { release(); return createImageBitmap(blob); })
      .then((strip) => {
        tile.queued = false;
        if (key === state.galleryKey) { tile.strip = strip; tile.shown = -1; } else strip.close();
      })
      .catch(() => { tile.queued = false; release(); });
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
  const columns = getComputedStyle(gallery).gridTemplateColumns.split(' ').length || 1;
  const shown = (gallery.clientWidth || 1000) / columns * (window.devicePixelRatio || 1);
  TILE_W = Math.min(480, Math.max(160, Math.ceil(shown / 80) * 80));
  TILE_H = TILE_W * 9 / 16;
  for (const style of state.styles) {
    const tile = document.createElement('div');
    tile.className = 'tile';
    tile.dataset.style = style.number;
    const canvas = document.createElement('canvas');
    canvas.width = TILE_W;
    canvas.height = TILE_H;
    tile.title = `${style.title}: click to see it large`;
    tile.dataset.family = style.family;
    tile.dataset.search = `${style.number} ${style.name} ${style.family}`.toLowerCase();
    const label = document.createElement('label');
    label.className = 'label';
    const name = document.createElement('span');
    name.className = 'style-name';
    name.textContent = `${style.number} · ${style.name}`;
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
  const families = $('#gallery-family');
  for (const family of [...new Set(state.styles.map((style) => style.family))]) {
    const option = document.createElement('option');
    option.value = family;
    option.textContent = family;
    families.append(option);
  }
  showChosen();
}

// Only the tiles whose number, name or family hold every word searched
// for, of the family chosen.
function filterGallery() {
  const words = $('#gallery-search').value.toLowerCase().split(/\s+/).filter(Boolean);
  const family = $('#gallery-family').value;
  let shown = 0;
  for (const tile of document.querySelectorAll('.tile')) {
    const match = (!family || tile.dataset.family === family) &&
      words.every((word) => tile.dataset.search.includes(word));
    tile.hidden = !match;
    if (match) shown += 1;
  }
  $('#gallery-count').textContent = shown === state.styles.length ? '' : `${shown} of ${state.styles.length}`;
}

// New pictures or another fit: every strip is drawn again.
function refreshGallery() {
  $('#gallery-samples').hidden = state.pictures.some((picture) => !picture.problem);
  const key = pairQuery() + state.settings.fit + state.settings['blur-borders'];
  if (key === state.galleryKey) return;
  state.galleryKey = key;
  loadQueue.length = 0;
  document.querySelectorAll('.tile').forEach((tile) => {
    if (tile.strip) tile.strip.close();
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
    const canvas = tile.firstChild;
    canvas.getContext('2d').drawImage(tile.strip, 0, k * canvas.height, canvas.width, canvas.height,
      0, 0, canvas.width, canvas.height);
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
  $('#player-title').textContent = info ? `Transition ${info.number}: ${info.name} (${info.family})` : `Transition ${style}`;
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
    motionFrames: Number(response.headers.get('X-Motion-Frames') || 0),
  };
}

// Frames first + 1 ... of the moving picture after transition `step`.
async function fetchMotion(step, w, h, view, first) {
  const response = await api('GET', `api/motion?step=${step}&w=${w}&h=${h}&view=${view}&from=${first}&count=${MOTION_BATCH}`);
  return createImageBitmap(await response.blob());
}
const MOTION_BATCH = 25;

// Plays a strip of `count` frames, one under the other, `delay` ms apart.
async function playStrip(context, canvas, strip, count, delay, run) {
  const frameH = strip.height / count;
  const start = performance.now();
  for (let k = 0; k < count && preview.run === run; k += 1) {
    context.drawImage(strip, 0, k * frameH, strip.width, frameH, 0, 0, canvas.width, canvas.height);
    await sleep(start + (k + 1) * delay - performance.now());
  }
  strip.close();
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
      const moving = current.motionFrames > 0 ? fetchMotion(step, w, h, view, 0) : null;
      moving?.catch(() => {});
      await playStrip(context, canvas, current.strip, current.frames, current.delay, run);
      if (moving) {
        // The picture moves until the next transition, a batch at a time,
        // the next fetched while one plays.
        let batch = moving;
        for (let first = 0; first < current.motionFrames && preview.run === run; first += MOTION_BATCH) {
          const strip = await batch;
          const count = Math.min(MOTION_BATCH, current.motionFrames - first);
          if (first + MOTION_BATCH < current.motionFrames) {
            batch = fetchMotion(step, w, h, view, first + MOTION_BATCH);
            batch.catch(() => {});
          }
          await playStrip(context, canvas, strip, count, current.delay, run);
        }
        if (current.interval === 0) break;
      } else {
        if (current.interval === 0) break; // the saver shows one picture and stays
        await sleep(current.interval);
      }
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

// Ends the Studio after the last edits are saved; the page then stays as a
// note that everything is kept, and stops watching for the Studio.
async function quitStudio() {
  await flushEdits(false);
  try {
    await api('POST', 'api/quit');
  } catch (error) {
    return failed(error, 'closing Tevrin Studio');
  }
  state.closed = true;
  $('#closed-command').textContent = state.command || 'tevrin studio';
  $('#closed').hidden = false;
  $('main').hidden = true;
  $('#quit-studio').hidden = true;
}

async function startBuild() {
  const targets = ['windows', 'linux'].filter((t) => $(`#build-${t}`).checked);
  if (!targets.length) return say('Choose Windows, Linux or both');
  await flushEdits(false);
  await saveSettings(readSettings());
  try {
    await api('POST', 'api/build', { targets });
    pollBuild();
  } catch (error) {
    failed(error, 'the build');
  }
}

async function pollBuild() {
  const bar = $('#build-progress');
  const button = $('#build-button');
  let status;
  try {
    status = await (await api('GET', 'api/build')).json();
  } catch (error) {
    return failed(error, 'the build');
  }
  bar.hidden = false;
  bar.value = status.total ? status.done / status.total : 0;
  button.disabled = status.running;
  $('#build-what').textContent = status.running ? `Packing ${status.what}…` : '';
  if (status.running) {
    setTimeout(pollBuild, 250);
    return;
  }
  bar.hidden = true;
  if (status.error) return say(`The saver was not built: ${status.error}`);
  await loadProject();
  say('The saver is built.', true);
}

function timeText(iso) {
  const time = new Date(iso);
  if (Number.isNaN(time.getTime())) return iso;
  return time.toLocaleString(undefined, { dateStyle: 'medium', timeStyle: 'short' });
}

// The project's last builds, newest first, with their downloads and what
// changed since each.
function showBuilds() {
  const list = $('#build-result');
  list.replaceChildren();
  $('#build-history').hidden = !state.builds.length;
  for (const build of state.builds) {
    const item = document.createElement('li');
    item.className = 'build';
    const system = build.target === 'windows' ? 'Windows' : 'Linux';
    if (build.present) {
      const link = document.createElement('a');
      link.href = build.download;
      link.download = build.file;
      link.textContent = `Download ${build.file}`;
      item.append(link);
    } else {
      const name = document.createElement('strong');
      name.textContent = build.file;
      item.append(name);
    }
    item.append(` (${system}, ${sizeText(build.bytes || 0)}, built ${timeText(build.time)}) — ${build.path}`);
    const notes = [];
    if (!build.present) notes.push('The file is gone or was changed since.');
    if (build.pictures_changed) notes.push('The pictures changed since this build.');
    if (build.settings_changed) notes.push('The choices changed since this build.');
    if (notes.length) {
      const note = document.createElement('div');
      note.className = 'build-note';
      note.textContent = notes.join(' ');
      item.append(note);
    }
    list.append(item);
  }
}

// ---- Start ---------------------------------------------------------------------------------

document.addEventListener('DOMContentLoaded', async () => {
  setUpReordering();
  setUpDropping();
  setUpPlayer();
  setUpFields();
  $('#undo-button').addEventListener('click', undoRemove);
  $('#twice-button').addEventListener('click', () => {
    $('#twice').hidden = true;
    sendFiles('pictures', heldBack, true);
  });
  $('#gallery-search').addEventListener('input', filterGallery);
  $('#gallery-family').addEventListener('change', filterGallery);
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
  $('#quit-studio').addEventListener('click', quitStudio);
  requestAnimationFrame(animate);
  try {
    await loadProject();
    document.body.dataset.ready = 'yes';
  } catch (error) {
    if (!(error instanceof StoppedError)) say(`The Studio cannot be reached: ${error.message}`);
  }
  watchStudio();
});
