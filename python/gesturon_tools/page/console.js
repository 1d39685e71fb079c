"use strict";
// The console page: what the running show sends over the WebSocket, drawn;
// what the operator presses, sent back as actions. Positions come from the
// frames the player sends its outputs and are only scaled here.
document.body.dataset.scriptMs = String(Math.round(performance.now()));
const $ = (id) => document.getElementById(id);
const token = new URLSearchParams(location.search).get("token");
const TRAIL = 24;      // earlier positions drawn fading behind each fixture
const PAD = 12;        // CSS pixels between a view's edge and its extent
let socket = null;
let show = null;       // what the show told us once: rows, cues, source
let views = [];        // one top view per fixture row
let lastBeat = null;
let updates = 0;
let ready = false;
let outputsAt = -Infinity;
const OUTPUTS_EVERY_MS = 250;

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
  else showError("not connected to the show");
}

function showError(text) {
  const line = $("error");
  line.textContent = text;
  line.hidden = !text;
}

function connect() {
  const scheme = location.protocol === "https:" ? "wss" : "ws";
  const query = token ? "?token=" + encodeURIComponent(token) : "";
  socket = new WebSocket(`${scheme}://${location.host}/ws${query}`);
  socket.onopen = () => { $("link").textContent = "live"; $("link").classList.remove("down"); };
  socket.onclose = () => {
    $("link").textContent = "reconnecting";
    $("link").classList.add("down");
    setTimeout(connect, 1000);
  };
  socket.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.type === "show") build(message);
    else if (message.type === "state") update(message);
    else if (message.type === "error") showError(message.message);
    else if (message.type === "done") {
      showError("");
      if (message.action === "tempo" || (message.action === "tap" && message.bpm)) {
        $("bpm").textContent = formatBpm(message.bpm);
      }
    }
  };
}

function build(hello) {
  show = hello;
  $("title").textContent = hello.title;
  const list = $("cue-list");
  list.replaceChildren();
  const names = hello.order.concat(hello.cues.filter((c) => !hello.order.includes(c)));
  for (const name of names) {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "cue";
    button.textContent = name;
    button.dataset.cue = name;
    button.onclick = () => send({action: "cue", cue: name,
                                 at: document.querySelector("input[name=at]:checked").value});
    list.append(button);
  }
  $("next-cue").hidden = hello.mode !== "key";
  for (const id of ["tap", "nudge-down", "nudge-up", "resync"]) $(id).disabled = !hello.by_hand;
  $("tempo-form").hidden = !hello.by_hand;
  const holder = $("views");
  holder.replaceChildren();
  views = hello.rows.map(([name, members]) => {
    const card = document.createElement("div");
    card.className = "view";
    const title = document.createElement("h3");
    title.textContent = name;
    const pattern = document.createElement("small");
    title.append(" ", pattern);
    const canvas = document.createElement("canvas");
    canvas.dataset.row = name;
    card.append(title, canvas);
    holder.append(card);
    return {name, members, canvas, pattern, extent: 1, trails: members.map(() => [])};
  });
  document.body.dataset.builtMs = String(Math.round(performance.now()));
}

function formatBpm(bpm) {
  return bpm.toFixed(2).replace(/\.?0+$/, "");
}

function setText(id, text) {
  const element = $(id);
  if (element.textContent !== text) element.textContent = text;
}

function update(state) {
  updates += 1;
  setText("where", state.where);
  setText("bpm", formatBpm(state.bpm));
  const source = $("source");
  setText("source", state.status);
  source.classList.toggle("lost", state.lost);
  const beat = `${state.bar}:${state.beat}`;
  if (beat !== lastBeat) {
    lastBeat = beat;
    const flash = $("flash");
    flash.className = state.beat === 1 ? "down" : "on";
    setTimeout(() => { flash.className = ""; }, 90);
  }
  setText("cue-now", state.cue.name);
  setText("cue-next", state.cue.next === null ? "" :
    state.cue.lands ? `\u2192 ${state.cue.next} at ${state.cue.lands}` : `next: ${state.cue.next}`);
  for (const button of $("cue-list").children) {
    button.classList.toggle("current", button.dataset.cue === state.cue.name);
    button.classList.toggle("next", button.dataset.cue === state.cue.next);
  }
  const now = performance.now();
  if (now - outputsAt >= OUTPUTS_EVERY_MS) {  // counts change every frame: a few times a second is plenty
    outputsAt = now;
    $("outputs").innerHTML = state.outputs.map((o) =>
      `<tr><td>${escapeHtml(o.name)}</td><td>${o.frames}</td><td>${o.late}</td><td>${o.dropped}</td></tr>`).join("");
  }
  draw(state);
  if (!ready) {
    ready = true;
    const now = String(Math.round(performance.now()));
    document.body.dataset.unpackMs = "0";
    document.body.dataset.readyMs = now;
  }
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({"&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;"})[c]);
}

// Each row's top view: x across, y up, both scaled by the view's extent
// (1, or more once a position goes beyond it); depth z as the dot's size.
function draw(state) {
  const drawn = {pip: state.pip, views: []};
  const ratio = window.devicePixelRatio || 1;
  for (const view of views) {
    const canvas = view.canvas;
    const size = canvas.clientWidth;
    if (canvas.width !== Math.round(size * ratio)) {
      canvas.width = canvas.height = Math.round(size * ratio);
    }
    const points = view.members.map((i) => state.positions[i]);
    for (const [x, y] of points) {
      const far = Math.max(Math.abs(x), Math.abs(y));
      if (far > view.extent) view.extent = Math.ceil(far * 2) / 2;
    }
    const half = size / 2;
    const scale = (half - PAD) / view.extent;
    const context = canvas.getContext("2d");
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    context.clearRect(0, 0, size, size);
    context.strokeStyle = "#2a313a";
    context.lineWidth = 1;
    context.strokeRect(PAD, PAD, size - 2 * PAD, size - 2 * PAD);
    context.beginPath();
    context.moveTo(half, PAD); context.lineTo(half, size - PAD);
    context.moveTo(PAD, half); context.lineTo(size - PAD, half);
    context.stroke();
    const record = {row: view.name, size, extent: view.extent, pad: PAD, points: []};
    points.forEach(([x, y, z], k) => {
      const px = half + x * scale;
      const py = half - y * scale;
      const r = Math.max(2, size / 40 * (1 + 0.5 * Math.max(-1, Math.min(1, z))));
      const trail = view.trails[k];
      trail.push([px, py]);
      if (trail.length > TRAIL) trail.shift();
      const hue = (k * 47) % 360;
      context.lineWidth = 2;
      for (let t = 1; t < trail.length; t++) {
        context.strokeStyle = `hsl(${hue} 85% 60% / ${t / trail.length * 0.6})`;
        context.beginPath();
        context.moveTo(trail[t - 1][0], trail[t - 1][1]);
        context.lineTo(trail[t][0], trail[t][1]);
        context.stroke();
      }
      context.fillStyle = `hsl(${hue} 85% 60%)`;
      context.beginPath();
      context.arc(px, py, r, 0, 2 * Math.PI);
      context.fill();
      record.points.push({label: show.labels[view.members[k]], px, py, r});
    });
    const names = [...new Set(view.members.map((i) => state.patterns[i]))];
    if (view.pattern.textContent !== names.join(", ")) view.pattern.textContent = names.join(", ");
    drawn.views.push(record);
  }
  window.consoleDrawn = drawn;
}

$("tap").onclick = () => send({action: "tap"});
$("nudge-down").onclick = () => send({action: "nudge", pips: -16});
$("nudge-up").onclick = () => send({action: "nudge", pips: 16});
$("resync").onclick = () => send({action: "resync"});
$("next-cue").onclick = () => send({action: "next"});
$("tempo-form").onsubmit = (event) => {
  event.preventDefault();
  send({action: "tempo", bpm: $("tempo-input").value.trim()});
};
setInterval(() => { $("rate").textContent = String(updates); window.consoleRate = updates; updates = 0; }, 1000);
connect();
