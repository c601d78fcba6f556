"use strict";
// Follows pictures/NAME/events, where the server pushes each change of the
// name's state, or where that fails polls pictures/NAME/latest.json twice a
// second. When the sequence changes it fetches the picture at its sequence's
// own address, which the browser and any cache on the way keep for good,
// decodes it off screen and only then shows it, so a failed fetch or a broken
// picture leaves the last good one in place. A "live" event says the same
// picture was uploaded again: only its age changes. All addresses are
// relative to the page's own.
//
// The picture fills the stage at its aspect ratio. A click or the key 1 shows
// it 1:1 (one picture pixel per screen pixel), where dragging, the wheel or
// the arrow keys pan it; two fingers pinch it larger or smaller. A double
// click or tap, the key F and the Fullscreen button toggle fullscreen.
const NAME_PATTERN = /^[A-Za-z0-9_-]{1,93}$/;
const POLL_INTERVAL_MS = 500;
// After the event stream fails, the page polls for this long before trying it again.
const PUSH_RETRY_MS = 15000;
// A second tap within this time (the desktop's usual double-click time) and
// distance of the first makes a double tap.
const DOUBLE_TAP_MS = 400;
const DOUBLE_TAP_PX = 24;
// A press that moves farther than this is a drag, not a tap.
const TAP_SLOP_PX = 8;
// Pinching enlarges the picture up to this many times its 1:1 size.
const MAX_ZOOM = 4;
const PAGE_TITLE = document.title;

const form = document.getElementById("watch-form");
const nameInput = document.getElementById("name");
const statusLine = document.getElementById("status");
const watchingLine = document.getElementById("watching");
const watchedNameText = document.getElementById("watched-name");
const changeLink = document.getElementById("change");
const stage = document.getElementById("stage");
const picture = document.getElementById("picture");
const frame = document.getElementById("frame");
const liveBox = document.getElementById("live");
const liveText = document.getElementById("live-text");
const ageLine = document.getElementById("age");
const actualSizeButton = document.getElementById("actual-size");
const fullscreenButton = document.getElementById("fullscreen");

let watchedName = "";
let watchGeneration = 0;
let eventSource = null;
let pollTimer = null;
let pushRetryAt = 0;
let shownSequence = null;
let shownUrl = null;
let brokenSequence = null;
let uploadedAtMs = null;
// States are applied one at a time; one that comes meanwhile waits, replaced by any newer one.
let waitingState = null;
let applying = false;
// The shown picture's size in its own pixels, and where it lies on the stage:
// its scale in CSS pixels per picture pixel and its top left corner. Unless
// zoomed, it fits the stage.
let pictureSize = null;
const view = { zoomed: false, scale: 1, x: 0, y: 0 };

function setStatus(text, isProblem) {
  if (statusLine.textContent !== text) {
    statusLine.textContent = text;
  }
  statusLine.classList.toggle("problem", Boolean(isProblem));
}

function describeAge() {
  if (uploadedAtMs === null) {
    ageLine.textContent = "";
    return;
  }
  const seconds = Math.max(0, Math.round((Date.now() - uploadedAtMs) / 1000));
  if (seconds < 120) {
    ageLine.textContent = `updated ${seconds} s ago`;
  } else if (seconds < 7200) {
    ageLine.textContent = `updated ${Math.floor(seconds / 60)} min ago`;
  } else {
    ageLine.textContent = `updated ${Math.floor(seconds / 3600)} h ago`;
  }
}

function setLive(isLive) {
  liveBox.classList.toggle("on", isLive);
  liveText.textContent = isLive ? "Live" : "Not live";
}

function forgetPicture() {
  // A hidden stage would leave a fullscreen view black.
  if (isFullscreen()) {
    toggleFullscreen();
  }
  stage.hidden = true;
  setLive(false);
  pictureSize = null;
  picture.removeAttribute("src");
  if (shownUrl !== null) {
    URL.revokeObjectURL(shownUrl);
  }
  shownUrl = null;
  shownSequence = null;
  uploadedAtMs = null;
  describeAge();
}

// Relative, so that the page works wherever a proxy puts it.
// Tells this page from others behind the same address when the server counts
// the viewers that poll.
const VIEWER_TOKEN = Array.from(crypto.getRandomValues(new Uint8Array(8)), (byte) =>
  byte.toString(16).padStart(2, "0"),
).join("");

function pictureAddress(resource) {
  return `pictures/${encodeURIComponent(watchedName)}/${resource}`;
}

function showProblem(error) {
  const kept = shownSequence === null ? "" : " The last picture received stays shown.";
  setStatus(`Cannot load the newest picture (${error.message}); trying again.${kept}`, true);
  setLive(false);
}

// The picture of the sequence, or the newest one where a newer came meanwhile.
async function fetchPicture(sequence) {
  const response = await fetch(pictureAddress(`${sequence}.jpg`));
  if (response.status !== 404) {
    return response;
  }
  return fetch(pictureAddress("latest.jpg"), { cache: "no-cache" });
}

async function showNewestPicture(state, uploadedAt, generation) {
  const response = await fetchPicture(state.sequence);
  if (generation !== watchGeneration) {
    return;
  }
  if (response.status === 404) {
    forgetPicture();
    return;
  }
  if (!response.ok) {
    throw new Error(`the server answered ${response.status}`);
  }
  const sequence = Number(response.headers.get("X-Picture-Sequence"));
  // Only latest.jpg tells the age; a kept sequence address is as old as the state says.
  const ageHeader = response.headers.get("X-Picture-Age-Ms");
  const url = URL.createObjectURL(await response.blob());
  const decoded = new Image();
  decoded.src = url;
  try {
    await decoded.decode();
  } catch (error) {
    URL.revokeObjectURL(url);
    brokenSequence = sequence;
    throw new Error("the newest picture could not be decoded");
  }
  if (generation !== watchGeneration) {
    URL.revokeObjectURL(url);
    return;
  }
  if (pictureSize === null || pictureSize.width !== decoded.naturalWidth ||
      pictureSize.height !== decoded.naturalHeight) {
    pictureSize = { width: decoded.naturalWidth, height: decoded.naturalHeight };
    view.zoomed = false;
  }
  picture.src = url;
  picture.alt = `Newest screen picture from ${watchedName}`;
  if (shownUrl !== null) {
    URL.revokeObjectURL(shownUrl);
  }
  shownUrl = url;
  shownSequence = sequence;
  uploadedAtMs = ageHeader === null ? uploadedAt : Date.now() - Number(ageHeader);
  stage.hidden = false;
  placePicture();
  describeAge();
}

async function applyState(state, generation) {
  if (!state.present) {
    forgetPicture();
    setStatus(state.ended
      ? `“${watchedName}” has ended: the screen is no longer shared and its pictures were deleted.`
      : `No picture from “${watchedName}” yet. It appears here as soon as one arrives.`);
    return;
  }
  const uploadedAt = Date.now() - (state.age_ms ?? 0);
  if (state.sequence === shownSequence) {
    uploadedAtMs = uploadedAt;
    describeAge();
  } else if (state.sequence !== brokenSequence) {
    await showNewestPicture(state, uploadedAt, generation);
  }
  if (generation === watchGeneration) {
    setStatus(shownSequence === null ? `Waiting for a picture from “${watchedName}”…` : "");
    setLive(shownSequence !== null);
  }
}

async function receiveState(state, generation) {
  waitingState = state;
  if (applying) {
    return;
  }
  applying = true;
  try {
    while (waitingState !== null && generation === watchGeneration) {
      const next = waitingState;
      waitingState = null;
      try {
        await applyState(next, generation);
      } catch (error) {
        if (generation === watchGeneration) {
          showProblem(error);
        }
      }
    }
  } finally {
    applying = false;
  }
}

function stopFetching() {
  if (eventSource !== null) {
    eventSource.close();
    eventSource = null;
  }
  clearTimeout(pollTimer);
  pollTimer = null;
}

// The server pushes every change of the name's state; where that fails the page polls.
function startFetching(generation) {
  stopFetching();
  if (document.hidden || generation !== watchGeneration) {
    return;
  }
  if (typeof EventSource === "function" && Date.now() >= pushRetryAt) {
    follow(generation);
  } else {
    poll(generation);
  }
}

function follow(generation) {
  const source = new EventSource(pictureAddress("events"));
  eventSource = source;
  source.onmessage = (message) => {
    if (generation === watchGeneration) {
      receiveState(JSON.parse(message.data), generation);
    }
  };
  source.addEventListener("live", (message) => {
    if (generation === watchGeneration) {
      receiveState({ present: true, ...JSON.parse(message.data) }, generation);
    }
  });
  source.onerror = () => {
    if (eventSource !== source) {
      return;
    }
    source.close();
    eventSource = null;
    pushRetryAt = Date.now() + PUSH_RETRY_MS;
    poll(generation);
  };
}

async function poll(generation) {
  try {
    const response = await fetch(`${pictureAddress("latest.json")}?viewer=${VIEWER_TOKEN}`, { cache: "no-store" });
    if (!response.ok) {
      throw new Error(`the server answered ${response.status}`);
    }
    const state = await response.json();
    if (generation === watchGeneration) {
      await receiveState(state, generation);
    }
  } catch (error) {
    if (generation === watchGeneration) {
      showProblem(error);
    }
  } finally {
    if (generation === watchGeneration && eventSource === null && !document.hidden) {
      clearTimeout(pollTimer);
      pollTimer = setTimeout(() => startFetching(generation), POLL_INTERVAL_MS);
    }
  }
}

function watch(name) {
  watchGeneration += 1;
  stopFetching();
  forgetPicture();
  brokenSequence = null;
  waitingState = null;
  watchedName = name;
  document.title = `${name} – ${PAGE_TITLE}`;
  watchedNameText.textContent = `“${name}”`;
  foldForm(true);
  setStatus(`Looking for pictures from “${name}”…`);
  startFetching(watchGeneration);
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  const name = nameInput.value.trim();
  if (!NAME_PATTERN.test(name)) {
    setStatus("A contact name has 1 to 93 letters A–Z, digits, “_” or “-”.", true);
    nameInput.focus();
    return;
  }
  history.replaceState(null, "", `?name=${encodeURIComponent(name)}`);
  watch(name);
});

// Once watching, the form gives way to the watched name and a link that brings it back.
function foldForm(folded) {
  form.hidden = folded;
  watchingLine.hidden = !folded;
}

changeLink.addEventListener("click", () => {
  foldForm(false);
  nameInput.focus();
  nameInput.select();
});

nameInput.addEventListener("keydown", (event) => {
  if (event.key === "Escape" && watchedName !== "") {
    nameInput.value = watchedName;
    foldForm(true);
    changeLink.focus();
  }
});

function fitScale() {
  return Math.min(stage.clientWidth / pictureSize.width, stage.clientHeight / pictureSize.height);
}

function actualScale() {
  return 1 / window.devicePixelRatio;
}

// Centres a picture smaller than the room; keeps a larger one covering it.
function clampOffset(offset, size, room) {
  return size <= room ? (room - size) / 2 : Math.min(0, Math.max(room - size, offset));
}

// Puts the picture where the view says, and the frame over its part in sight.
function placePicture() {
  if (pictureSize === null || stage.hidden) {
    return;
  }
  if (!view.zoomed) {
    view.scale = fitScale();
  }
  const width = pictureSize.width * view.scale;
  const height = pictureSize.height * view.scale;
  view.x = clampOffset(view.x, width, stage.clientWidth);
  view.y = clampOffset(view.y, height, stage.clientHeight);
  picture.style.width = `${width}px`;
  picture.style.height = `${height}px`;
  picture.style.transform = `translate(${view.x}px, ${view.y}px)`;
  const left = Math.max(0, view.x);
  const top = Math.max(0, view.y);
  frame.style.left = `${left}px`;
  frame.style.top = `${top}px`;
  frame.style.width = `${Math.min(stage.clientWidth, view.x + width) - left}px`;
  frame.style.height = `${Math.min(stage.clientHeight, view.y + height) - top}px`;
  stage.classList.toggle("zoomed", view.zoomed);
  actualSizeButton.setAttribute("aria-pressed", String(view.zoomed));
}

// Scales the picture about a point of the stage, which stays where it is.
function zoomTo(scale, atX, atY) {
  view.x = atX - ((atX - view.x) * scale) / view.scale;
  view.y = atY - ((atY - view.y) * scale) / view.scale;
  view.scale = scale;
  view.zoomed = true;
  placePicture();
}

function toggleActualSize(atX = stage.clientWidth / 2, atY = stage.clientHeight / 2) {
  if (view.zoomed) {
    view.zoomed = false;
    placePicture();
  } else {
    zoomTo(actualScale(), atX, atY);
  }
}

function panBy(dx, dy) {
  view.x += dx;
  view.y += dy;
  placePicture();
}

// Where the browser cannot show an element fullscreen (as on iPhones), the stage fills the window instead.
function isFullscreen() {
  return document.fullscreenElement === stage || document.body.classList.contains("filling");
}

function showFullscreenState() {
  fullscreenButton.setAttribute("aria-pressed", String(isFullscreen()));
  fullscreenButton.textContent = isFullscreen() ? "Exit fullscreen" : "Fullscreen";
}

function setFilling(filling) {
  document.body.classList.toggle("filling", filling);
  showFullscreenState();
}

function toggleFullscreen() {
  if (document.fullscreenElement) {
    document.exitFullscreen();
  } else if (document.body.classList.contains("filling")) {
    setFilling(false);
  } else if (typeof stage.requestFullscreen === "function") {
    stage.requestFullscreen().catch(() => setFilling(true));
  } else {
    setFilling(true);
  }
}

document.addEventListener("fullscreenchange", showFullscreenState);
fullscreenButton.addEventListener("click", toggleFullscreen);
actualSizeButton.addEventListener("click", () => toggleActualSize());
new ResizeObserver(placePicture).observe(stage);

document.addEventListener("keydown", (event) => {
  if (stage.hidden || event.ctrlKey || event.altKey || event.metaKey || event.target === nameInput) {
    return;
  }
  const step = Math.max(40, stage.clientWidth / 10);
  const pans = { ArrowLeft: [step, 0], ArrowRight: [-step, 0], ArrowUp: [0, step], ArrowDown: [0, -step] };
  if (event.key === "f" || event.key === "F") {
    toggleFullscreen();
  } else if (event.key === "1") {
    toggleActualSize();
  } else if (event.key === "Escape" && document.body.classList.contains("filling")) {
    setFilling(false);
  } else if (event.key in pans && view.zoomed) {
    panBy(...pans[event.key]);
  } else {
    return;
  }
  event.preventDefault();
});

stage.addEventListener("wheel", (event) => {
  if (view.zoomed && !event.ctrlKey) {
    event.preventDefault();
    panBy(-event.deltaX, -event.deltaY);
  }
}, { passive: false });

// Presses on the stage, by mouse, pen or finger: a tap toggles the 1:1 view
// (after waiting to see whether a second tap makes it a double one), a drag
// pans, and two fingers pinch.
const pointers = new Map();
let gesture = null;
let lastTap = null;
let tapTimer = null;

function stagePoint(event) {
  const box = stage.getBoundingClientRect();
  return { x: event.clientX - box.left, y: event.clientY - box.top };
}

function middleOfPointers() {
  const [a, b] = [...pointers.values()];
  return { x: (a.x + b.x) / 2, y: (a.y + b.y) / 2, distance: Math.hypot(a.x - b.x, a.y - b.y) || 1 };
}

function tap(at) {
  const now = performance.now();
  if (lastTap !== null && now - lastTap.time < DOUBLE_TAP_MS &&
      Math.hypot(at.x - lastTap.x, at.y - lastTap.y) < DOUBLE_TAP_PX) {
    clearTimeout(tapTimer);
    lastTap = null;
    toggleFullscreen();
    return;
  }
  lastTap = { ...at, time: now };
  clearTimeout(tapTimer);
  tapTimer = setTimeout(() => {
    lastTap = null;
    toggleActualSize(at.x, at.y);
  }, DOUBLE_TAP_MS);
}

stage.addEventListener("pointerdown", (event) => {
  if (event.target.closest("button") || event.button !== 0 || pointers.size >= 2) {
    return;
  }
  stage.setPointerCapture(event.pointerId);
  pointers.set(event.pointerId, stagePoint(event));
  if (pointers.size === 1) {
    gesture = { kind: "press", start: stagePoint(event), viewX: view.x, viewY: view.y };
  } else {
    const middle = middleOfPointers();
    gesture = { kind: "pinch", start: middle, scale: view.scale, viewX: view.x, viewY: view.y };
  }
});

stage.addEventListener("pointermove", (event) => {
  if (!pointers.has(event.pointerId)) {
    return;
  }
  pointers.set(event.pointerId, stagePoint(event));
  if (gesture.kind === "pinch") {
    const middle = middleOfPointers();
    const fit = fitScale();
    const scale = Math.min(Math.max(fit, actualScale()) * MAX_ZOOM,
      Math.max(fit, (gesture.scale * middle.distance) / gesture.start.distance));
    // The picture's point first under the fingers' middle follows it.
    view.x = middle.x - ((gesture.start.x - gesture.viewX) * scale) / gesture.scale;
    view.y = middle.y - ((gesture.start.y - gesture.viewY) * scale) / gesture.scale;
    view.scale = scale;
    view.zoomed = scale > fit;
    placePicture();
    return;
  }
  const point = pointers.get(event.pointerId);
  const dx = point.x - gesture.start.x;
  const dy = point.y - gesture.start.y;
  if (gesture.kind === "press" && Math.hypot(dx, dy) > TAP_SLOP_PX) {
    gesture.kind = "drag";
    stage.classList.add("dragging");
  }
  if (gesture.kind === "drag" && view.zoomed) {
    view.x = gesture.viewX + dx;
    view.y = gesture.viewY + dy;
    placePicture();
  }
});

function endPress(event) {
  if (!pointers.delete(event.pointerId)) {
    return;
  }
  if (event.type === "pointerup" && gesture.kind === "press") {
    tap(gesture.start);
  }
  // A pinch ends when either finger lifts; the other one neither taps nor drags.
  gesture = pointers.size === 0 ? null : { kind: "done" };
  stage.classList.remove("dragging");
}

stage.addEventListener("pointerup", endPress);
stage.addEventListener("pointercancel", endPress);

// A hidden tab fetches nothing; shown again, it catches up at once.
document.addEventListener("visibilitychange", () => {
  if (document.hidden) {
    stopFetching();
  } else if (watchedName !== "") {
    startFetching(watchGeneration);
  }
});

setInterval(describeAge, 1000);

const presetName = new URLSearchParams(location.search).get("name");
if (presetName !== null) {
  nameInput.value = presetName;
  form.requestSubmit();
}
