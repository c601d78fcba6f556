"use strict";
// Follows pictures/NAME/events, where the server pushes each change of the
// name's state, or where that fails polls pictures/NAME/latest.json twice a
// second. When the sequence changes it fetches the picture, decodes it off
// screen and only then shows it, so a failed fetch or a broken picture leaves
// the last good one in place. All addresses are relative to the page's own.
const NAME_PATTERN = /^[A-Za-z0-9_-]{1,93}$/;
const POLL_INTERVAL_MS = 500;
// After the event stream fails, the page polls for this long before trying it again.
const PUSH_RETRY_MS = 15000;

const form = document.getElementById("watch-form");
const nameInput = document.getElementById("name");
const statusLine = document.getElementById("status");
const view = document.getElementById("view");
const picture = document.getElementById("picture");
const ageLine = document.getElementById("age");

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

function forgetPicture() {
  view.hidden = true;
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
function pictureAddress(resource) {
  return `pictures/${encodeURIComponent(watchedName)}/${resource}`;
}

function showProblem(error) {
  const kept = shownSequence === null ? "" : " The last picture received stays shown.";
  setStatus(`Cannot load the newest picture (${error.message}); trying again.${kept}`, true);
}

async function showNewestPicture(generation) {
  const response = await fetch(pictureAddress("latest.jpg"), { cache: "no-store" });
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
  const ageMs = Number(response.headers.get("X-Picture-Age-Ms"));
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
  picture.src = url;
  picture.alt = `Newest screen picture from ${watchedName}`;
  if (shownUrl !== null) {
    URL.revokeObjectURL(shownUrl);
  }
  shownUrl = url;
  shownSequence = sequence;
  uploadedAtMs = Date.now() - ageMs;
  view.hidden = false;
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
  if (state.sequence !== shownSequence && state.sequence !== brokenSequence) {
    await showNewestPicture(generation);
  }
  if (generation === watchGeneration) {
    setStatus(shownSequence === null ? `Waiting for a picture from “${watchedName}”…` : `Watching “${watchedName}”.`);
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
    const response = await fetch(pictureAddress("latest.json"), { cache: "no-store" });
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
