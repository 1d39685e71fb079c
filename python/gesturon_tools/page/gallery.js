"use strict";
// The gallery: unpacks the embedded samples, builds one card per pattern
// grouped by pack and family (or the beat packs as one beat-by-motion
// matrix), draws each drawing while it is on or near the screen, filters,
// and shows one pattern large.
(function () {
  const meta = JSON.parse(document.getElementById("meta").textContent);
  const PPB = meta.pips_per_beat;
  const QUANT = meta.quant;
  const BEATS_PER_BAR = 4;
  const SIXTEENTH = PPB / 4;
  const AXES = ["x", "y", "z"];
  const AXIS_COLOURS = ["#ff7a6b", "#45d4c0", "#a98bff"];
  const GUIDE = "rgba(141, 149, 168, 0.20)";
  const MUTED = "#8d95a8";
  // The size at which the self-check draws every card and matrix cell off screen.
  const CHECK_CARD = { width: 160, height: 150 };
  const NEAR_SCREEN = 800; // drawings this close to the screen (in pixels) are drawn
  // The card grid as the style sheet lays it out, for height estimates.
  const CARD_MIN_WIDTH = 220;
  const GRID_GAP = 12;
  // A beat's drum score as a step grid: one row per instrument, one column
  // per sixteenth, under the family heading and beside each matrix row.
  const SCORE = { row: 9, label: 58, pad: 4, maxWidth: 760, gap: 8 };
  const MATRIX_SCORE = { row: 5, label: 0, pad: 2 };
  const SCORE_GROUPS = {
    kick: "#ffb454", snare: "#45d4c0", clap: "#45d4c0", rim: "#45d4c0",
    hat: "#a98bff", open_hat: "#a98bff", ride: "#a98bff", shaker: "#a98bff", bass: "#ff7a6b",
  };
  const SCORE_PERCUSSION = "#7fb8ff";
  const SCORE_KEY = [["kick", SCORE_GROUPS.kick], ["snare, clap, rim", SCORE_GROUPS.snare],
    ["hats, ride, shaker", SCORE_GROUPS.hat], ["percussion", SCORE_PERCUSSION], ["bass", SCORE_GROUPS.bass]];
  const SCORE_LEVEL_ALPHA = [0.38, 0.72, 1];
  // Packs whose `beat_<beat>_<motion>` patterns form the beat-by-motion matrix.
  const MATRIX_PACKS = new Set(["club", "dancefloor", "yours"]);
  // A fitted drawing is never enlarged more than this (a pattern that hardly
  // moves stays a small mark rather than noise blown up).
  const MAX_ZOOM = 60;

  const $ = (id) => document.getElementById(id);
  const params = new URLSearchParams(location.hash.slice(1));
  const timings = { script_ms: Math.round(performance.now()) };

  // What the page shows besides the filter and the open pattern; the
  // address keeps all of it.
  const state = {
    view: "cards",     // or "matrix"
    fit: false,        // cards and matrix cells scaled to their own pattern
    look: null,        // the large view's projection; null: by the pattern's axes
    largeFixed: false, // the large view at the fixed scale rather than fitted
    cols: new Set(),   // the matrix's chosen motion columns; empty: all
  };

  // ---- The catalogue -------------------------------------------------------
  const packs = meta.packs.map((pack, index) => ({ ...pack, index, size: 0, shown: 0 }));
  const families = meta.families.map((family, index) => ({
    ...family, index, pack: packs[family.pack], members: [], size: 0, shown: 0,
  }));
  let nextOffset = 0;
  const patterns = meta.patterns.map(([name, description, period, dims, family], index) => {
    const p = { index, name, description, period, dims, family: families[family], offset: nextOffset,
      drawn: false, match: true, extent: null, keys: null };
    p.family.members.push(p);
    p.family.size++;
    p.family.shown++;
    p.family.pack.size++;
    p.family.pack.shown++;
    nextOffset += period * dims;
    return p;
  });
  const totalValues = nextOffset;
  let lanes = null; // Int16Array: every pattern's moving axes, lane after lane

  function beatsText(pips) {
    const beats = String(+(pips / PPB).toFixed(6));
    return `${beats} beat${beats === "1" ? "" : "s"}`;
  }

  function beatPosition(pip) {
    return `${Math.floor(pip / PPB)}:${String(pip % PPB).padStart(2, "0")}`;
  }

  // The samples are 12-bit lanes stored as second differences, split into a
  // plane of low bytes and a plane of high bytes, gzip-compressed, base64.
  async function unpack() {
    const text = $("samples").textContent.trim();
    const binary = atob(text);
    const packed = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) packed[i] = binary.charCodeAt(i);
    if (typeof DecompressionStream === "undefined") {
      throw new Error("this browser has no DecompressionStream; please open the gallery in a current browser");
    }
    const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream("gzip"));
    const planes = new Uint8Array(await new Response(stream).arrayBuffer());
    const n = planes.length >> 1;
    if (n !== totalValues) throw new Error(`expected ${totalValues} samples, found ${n}`);
    const values = new Int16Array(n);
    for (const p of patterns) {
      for (let axis = 0; axis < p.dims; axis++) {
        const start = p.offset + axis * p.period;
        let step = 0, value = 0;
        for (let i = start; i < start + p.period; i++) {
          let d = planes[i] | (planes[n + i] << 8);
          if (d >= 0x8000) d -= 0x10000;
          step += d;
          value += step;
          values[i] = value;
        }
      }
    }
    return values;
  }

  function at(p, axis, pip) {
    return axis < p.dims ? lanes[p.offset + axis * p.period + pip] / QUANT : 0;
  }

  // The largest magnitude any moving axis of a pattern reaches.
  function reach(p) {
    if (p.extent === null) {
      let most = 0;
      const end = p.offset + p.dims * p.period;
      for (let i = p.offset; i < end; i++) most = Math.max(most, Math.abs(lanes[i]));
      p.extent = most / QUANT;
    }
    return p.extent;
  }

  // ---- Projections -------------------------------------------------------------
  // A projection turns a position into screen units: u to the right, v up.
  // +z is forward: towards the audience, who watch the front view.
  const LOOKS = {
    front: (x, y) => [x, y],
    // From above, the audience at the bottom: forward runs down the screen.
    top: (x, y, z) => [x, -z],
    // From the performer's left: forward runs to the right.
    side: (x, y, z) => [z, y],
    "3d": null,
  };
  const CAMERA = 4.5; // the 3-D view's eye, this far from the origin
  const view3d = { yaw: -0.62, pitch: 0.48 }; // turned left, looking down a little

  function orbitProjection(yaw, pitch) {
    const cy = Math.cos(yaw), sy = Math.sin(yaw), cp = Math.cos(pitch), sp = Math.sin(pitch);
    return (x, y, z) => {
      const x1 = x * cy + z * sy;
      const z1 = z * cy - x * sy;
      const near = y * sp + z1 * cp;
      const s = CAMERA / (CAMERA - near);
      return [x1 * s, (y * cp - z1 * sp) * s];
    };
  }

  // Patterns with depth are seen in 3-D unless the viewer asks otherwise.
  function autoLook(p) {
    return p.dims === 3 ? "3d" : "front";
  }

  function projection(look) {
    return look === "3d" ? orbitProjection(view3d.yaw, view3d.pitch) : LOOKS[look];
  }

  // Directions on the unit sphere, for the fixed scale of the 3-D view.
  const SPHERE = [];
  for (const x of [-1, 0, 1]) for (const y of [-1, 0, 1]) for (const z of [-1, 0, 1]) {
    const length = Math.hypot(x, y, z);
    if (length) SPHERE.push([x / length, y / length, z / length]);
  }

  // Where a pattern's path goes in a box. The fixed scale fits the range
  // [-1, 1] of the pattern's axes (in 3-D the unit ball, which holds what
  // patterns reach in practice), so sizes compare across drawings; fitting
  // fills the box with the pattern's own extent, and `zoom` says how much
  // larger than fixed that is. In 3-D the path casts a shadow on a floor just
  // below its lowest point, and the shadow is part of what must fit.
  function pathFrame(p, box, look, fit) {
    const project = projection(look);
    const shadow = look === "3d";
    const bounds = { u0: Infinity, u1: -Infinity, v0: Infinity, v1: -Infinity };
    const grow = ([u, v]) => {
      if (u < bounds.u0) bounds.u0 = u;
      if (u > bounds.u1) bounds.u1 = u;
      if (v < bounds.v0) bounds.v0 = v;
      if (v > bounds.v1) bounds.v1 = v;
    };
    const used = (x, y, z) => [p.dims > 0 ? x : 0, p.dims > 1 ? y : 0, p.dims > 2 ? z : 0];
    if (shadow) for (const point of SPHERE) grow(project(...used(...point)));
    else for (const x of [-1, 1]) for (const y of [-1, 1]) for (const z of [-1, 1]) grow(project(...used(x, y, z)));
    const fixed = Math.min(box.w / (bounds.u1 - bounds.u0), box.h / (bounds.v1 - bounds.v0)) * 0.9;
    let centre = [(bounds.u0 + bounds.u1) / 2, (bounds.v0 + bounds.v1) / 2];
    let scale = fixed;
    // The floor: a rectangle under the path's x/z extent.
    let floor = -1;
    const area = { x0: 0, x1: 0, z0: 0, z1: 0 };
    if (shadow) {
      let lowest = Infinity;
      for (let k = 0; k < p.period; k++) {
        const x = at(p, 0, k), z = at(p, 2, k);
        lowest = Math.min(lowest, at(p, 1, k));
        area.x0 = Math.min(area.x0, x); area.x1 = Math.max(area.x1, x);
        area.z0 = Math.min(area.z0, z); area.z1 = Math.max(area.z1, z);
      }
      const margin = 0.15 * Math.max(reach(p), 1 / MAX_ZOOM);
      floor = lowest - margin;
      area.x0 -= margin; area.x1 += margin; area.z0 -= margin; area.z1 += margin;
    }
    if (fit) {
      bounds.u0 = bounds.v0 = Infinity;
      bounds.u1 = bounds.v1 = -Infinity;
      for (let k = 0; k < p.period; k++) {
        const x = at(p, 0, k), y = at(p, 1, k), z = at(p, 2, k);
        grow(project(x, y, z));
        if (shadow) grow(project(x, floor, z));
      }
      if (shadow) for (const x of [area.x0, area.x1]) for (const z of [area.z0, area.z1]) grow(project(x, floor, z));
      const spanU = Math.max(bounds.u1 - bounds.u0, 1e-6);
      const spanV = Math.max(bounds.v1 - bounds.v0, 1e-6);
      scale = Math.min(Math.min(box.w / spanU, box.h / spanV) * 0.86, fixed * MAX_ZOOM);
      centre = [(bounds.u0 + bounds.u1) / 2, (bounds.v0 + bounds.v1) / 2];
    }
    const cx = box.x + box.w / 2 - centre[0] * scale;
    const cy = box.y + box.h / 2 + centre[1] * scale;
    return {
      scale, zoom: scale / fixed, floor, area, look, project,
      map: (x, y, z) => {
        const [u, v] = project(x, y, z);
        return [cx + scale * u, cy - scale * v];
      },
    };
  }

  // ---- Drawing ---------------------------------------------------------------
  function line(ctx, x0, y0, x1, y1) {
    ctx.beginPath();
    ctx.moveTo(x0, y0);
    ctx.lineTo(x1, y1);
    ctx.stroke();
  }

  function trace(ctx, points) {
    ctx.beginPath();
    points.forEach(([X, Y], i) => (i ? ctx.lineTo(X, Y) : ctx.moveTo(X, Y)));
  }

  function polyline(ctx, points) {
    trace(ctx, points);
    ctx.stroke();
  }

  // Time along the path, from cyan at pip 0 through violet to pink.
  function pathColour(t) {
    return `hsl(${Math.round(188 + 150 * t)}, 88%, 64%)`;
  }

  function zoomText(zoom) {
    return `\u00d7${zoom < 10 ? zoom.toFixed(1) : Math.round(zoom)}`;
  }

  // The frame behind a path: the box of the range [-1, 1] and the axes
  // through the origin; in 3-D the floor under the path with the x and z
  // axes on it, and the vertical through the origin.
  function drawGuides(ctx, p, f) {
    ctx.lineWidth = 1;
    ctx.strokeStyle = GUIDE;
    if (f.look === "3d") {
      const y = f.floor;
      const { x0, x1, z0, z1 } = f.area;
      const square = [[x0, z0], [x1, z0], [x1, z1], [x0, z1], [x0, z0]].map(([x, z]) => f.map(x, y, z));
      ctx.fillStyle = "rgba(141, 149, 168, 0.05)";
      trace(ctx, square);
      ctx.fill();
      polyline(ctx, square);
      polyline(ctx, [f.map(x0, y, 0), f.map(x1, y, 0)]);
      ctx.setLineDash([3, 3]);
      polyline(ctx, [f.map(0, y, z0), f.map(0, y, z1)]);
      ctx.setLineDash([]);
      polyline(ctx, [f.map(0, y, 0), f.map(0, y + Math.max(x1 - x0, z1 - z0), 0)]);
      return;
    }
    const box = [[-1, -1], [1, -1], [1, 1], [-1, 1], [-1, -1]];
    const onPlane = { front: (a, b) => [a, b, 0], top: (a, b) => [a, 0, -b], side: (a, b) => [0, b, a] }[f.look];
    polyline(ctx, box.map(([a, b]) => f.map(...onPlane(a, b))));
    polyline(ctx, [f.map(...onPlane(-1, 0)), f.map(...onPlane(1, 0))]);
    polyline(ctx, [f.map(...onPlane(0, -1)), f.map(...onPlane(0, 1))]);
  }

  // The path over one period, coloured by time, with a white dot at pip 0
  // and, if given, a marker at `pip`. Depth reads from the projection and,
  // for patterns that use it, from the line: wider where the path comes
  // forward; in 3-D its shadow on the floor shows where it travels.
  // A fitted drawing says how much it is enlarged, in `label`-pixel type
  // (0: not at all, where the caller says it elsewhere).
  function drawPath(ctx, p, box, { width, bare = false, pip = null, look = autoLook(p), fit = false,
    label = 11 }) {
    const f = pathFrame(p, box, look, fit);
    ctx.save();
    drawGuides(ctx, p, f);
    if (!bare) {
      const n = p.period;
      const chunks = Math.min(n, 48);
      // The line widens as the path comes forward (+z) and thins as it goes
      // back, against the pattern's own depth (but never less than a third
      // of its reach, so that a slight depth cue stays slight).
      let forward = 0;
      if (p.dims === 3 && (look === "3d" || look === "front")) {
        for (let k = 0; k < n; k++) forward = Math.max(forward, Math.abs(at(p, 2, k)));
        forward = Math.max(forward, reach(p) / 3);
      }
      ctx.lineJoin = "round";
      ctx.lineCap = "round";
      if (look === "3d") {
        ctx.strokeStyle = "rgba(231, 234, 242, 0.16)";
        ctx.lineWidth = Math.max(1, width * 0.8);
        const shade = [];
        for (let k = 0; k <= n; k++) shade.push(f.map(at(p, 0, k % n), f.floor, at(p, 2, k % n)));
        polyline(ctx, shade);
      }
      for (let c = 0; c < chunks; c++) {
        const from = Math.floor((c * n) / chunks);
        const to = Math.floor(((c + 1) * n) / chunks);
        const points = [];
        let depth = 0;
        for (let k = from; k <= to; k++) {
          const q = k % n;
          points.push(f.map(at(p, 0, q), at(p, 1, q), at(p, 2, q)));
          depth += at(p, 2, q);
        }
        depth /= points.length;
        ctx.strokeStyle = pathColour((c + 0.5) / chunks);
        ctx.lineWidth = width * (forward ? Math.max(0.35, 1 + 1.3 * depth / forward) : 1);
        polyline(ctx, points);
      }
      const [sx, sy] = f.map(at(p, 0, 0), at(p, 1, 0), at(p, 2, 0));
      ctx.fillStyle = "#ffffff";
      ctx.beginPath();
      ctx.arc(sx, sy, width + 1.2, 0, 2 * Math.PI);
      ctx.fill();
      if (pip !== null) {
        const [X, Y] = f.map(at(p, 0, pip), at(p, 1, pip), at(p, 2, pip));
        ctx.shadowColor = "#ffb454";
        ctx.shadowBlur = 14;
        ctx.fillStyle = "#ffb454";
        ctx.beginPath();
        ctx.arc(X, Y, width + 4, 0, 2 * Math.PI);
        ctx.fill();
      }
    }
    if (fit && label) {
      ctx.font = `${label}px ui-monospace, Menlo, Consolas, monospace`;
      ctx.fillStyle = MUTED;
      ctx.fillText(zoomText(f.zoom), box.x + label / 3, box.y + label + 1);
    }
    ctx.restore();
    return f;
  }

  // The value range the lanes show: [-1, 1], or fitted to the pattern.
  function laneRange(p, fit) {
    return fit ? Math.max(reach(p), 1 / MAX_ZOOM) : 1;
  }

  function rangeText(range) {
    return range >= 1 ? "1" : String(+range.toPrecision(2));
  }

  // x, y and z over one period, with a line on every beat (stronger on
  // every bar) and the zero line; labels in the large view.
  function drawLanes(ctx, p, box, { width, bare = false, labels = false, fit = false }) {
    const n = p.period;
    const half = box.h / 2;
    const range = laneRange(p, fit);
    const xOf = (k) => box.x + (k / n) * box.w;
    const yOf = (v) => box.y + half - (v / range) * (half - 2);
    ctx.save();
    ctx.fillStyle = "rgba(255, 255, 255, 0.03)";
    ctx.fillRect(box.x, box.y, box.w, box.h);
    ctx.lineWidth = 1;
    const beats = Math.ceil(n / PPB);
    const labelEvery = Math.max(1, Math.ceil(24 / (box.w / beats)));
    ctx.font = "11px ui-monospace, Menlo, Consolas, monospace";
    for (let b = 0; b <= beats; b++) {
      const X = Math.round(xOf(Math.min(b * PPB, n))) + 0.5;
      ctx.strokeStyle = b % BEATS_PER_BAR === 0 ? "rgba(141, 149, 168, 0.42)" : GUIDE;
      line(ctx, X, box.y, X, box.y + box.h);
      if (labels && b < beats && b % labelEvery === 0) {
        ctx.fillStyle = MUTED;
        ctx.fillText(String(b), X + 3, box.y - 6);
      }
    }
    ctx.strokeStyle = "rgba(141, 149, 168, 0.35)";
    line(ctx, box.x, Math.round(yOf(0)) + 0.5, box.x + box.w, Math.round(yOf(0)) + 0.5);
    ctx.fillStyle = MUTED;
    if (labels) {
      const top = rangeText(range);
      ctx.textAlign = "right";
      ctx.fillText(`+${top}`, box.x - 6, yOf(range) + 4);
      ctx.fillText("0", box.x - 6, yOf(0) + 4);
      ctx.fillText(`\u2212${top}`, box.x - 6, yOf(-range) + 4);
      ctx.textAlign = "left";
    } else if (fit) {
      ctx.font = "10px ui-monospace, Menlo, Consolas, monospace";
      ctx.fillText(`\u00b1${rangeText(range)}`, box.x + 2, box.y + 10);
    }
    if (!bare) {
      ctx.lineWidth = width;
      ctx.lineJoin = "round";
      for (let axis = 0; axis < p.dims; axis++) {
        ctx.strokeStyle = AXIS_COLOURS[axis];
        ctx.beginPath();
        for (let k = 0; k <= n; k++) {
          const Y = yOf(at(p, axis, k % n));
          if (k === 0) ctx.moveTo(xOf(k), Y);
          else ctx.lineTo(xOf(k), Y);
        }
        ctx.stroke();
      }
    }
    ctx.restore();
  }

  function cardBoxes(w, h) {
    const lanesHeight = Math.round(h * 0.26);
    return {
      path: { x: 0, y: 4, w, h: h - lanesHeight - 14 },
      lanes: { x: 10, y: h - lanesHeight - 8, w: w - 20, h: lanesHeight },
    };
  }

  function paintCard(ctx, p, w, h, bare, fit = state.fit) {
    ctx.clearRect(0, 0, w, h);
    const boxes = cardBoxes(w, h);
    drawPath(ctx, p, boxes.path, { width: 1.6, bare, fit });
    drawLanes(ctx, p, boxes.lanes, { width: 1.25, bare, fit });
  }

  // A matrix cell is the path alone, with a marker while it plays.
  function cellBox(w, h) {
    return { x: 2, y: 2, w: w - 4, h: h - 4 };
  }

  function paintCell(ctx, p, w, h, bare, pip = null) {
    ctx.clearRect(0, 0, w, h);
    drawPath(ctx, p, cellBox(w, h), { width: 1.2, bare, fit: state.fit, pip, label: 9 });
  }

  // Size a canvas's backing store to its laid-out size; null when unlaid.
  function fitCanvas(canvas) {
    const w = canvas.clientWidth;
    const h = canvas.clientHeight;
    if (!w || !h) return null;
    const ratio = Math.min(window.devicePixelRatio || 1, 2);
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * ratio);
    const ctx = canvas.getContext("2d");
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    return { ctx, w, h };
  }

  // Every lazily drawn canvas (card, matrix cell, score) is an item with a
  // canvas and a draw function; far from the screen it gives its pixels back.
  function drawItem(item) {
    const fitted = fitCanvas(item.canvas);
    if (!fitted) return;
    item.paint(fitted.ctx, fitted.w, fitted.h);
    item.drawn = true;
  }

  function releaseItem(item) {
    item.canvas.width = 0;
    item.canvas.height = 0;
    item.drawn = false;
  }

  const lazyItems = [];
  const observer = new IntersectionObserver((entries) => {
    for (const entry of entries) {
      const item = lazyItems[+entry.target.dataset.item];
      if (entry.isIntersecting) {
        if (!item.drawn) drawItem(item);
      } else if (item.drawn) {
        releaseItem(item);
      }
    }
  }, { rootMargin: `${NEAR_SCREEN}px 0px` });

  function lazy(canvas, paint, extra = {}) {
    const item = { canvas, paint, drawn: false, ...extra };
    canvas.dataset.item = String(lazyItems.length);
    lazyItems.push(item);
    observer.observe(canvas);
    return item;
  }

  function redrawDrawn() {
    for (const item of lazyItems) if (item.drawn) drawItem(item);
  }

  // ---- Scores -----------------------------------------------------------------
  function scoreHeight(score, look = SCORE) {
    return score.lanes.length * look.row + 2 * look.pad;
  }

  // Draws a score: bar, beat and sixteenth lines, each instrument's name
  // (when there is room for a label), and every hit as a block at its pip
  // (triplets and swung hits fall between the lines), brighter the louder.
  function paintScore(ctx, score, width, height, look) {
    const left = look.label;
    const span = width - left - 2;
    const x = (pip) => left + (pip / score.period) * span;
    ctx.clearRect(0, 0, width, height);
    ctx.fillStyle = "rgba(21, 26, 36, 0.9)";
    ctx.fillRect(left, 0, span, height);
    const sixteenths = span / (score.period / SIXTEENTH) >= 3;
    for (let pip = 0; pip <= score.period; pip += SIXTEENTH) {
      const bar = pip % (PPB * BEATS_PER_BAR) === 0;
      const beat = pip % PPB === 0;
      if (!beat && !sixteenths) continue;
      ctx.fillStyle = bar ? "rgba(231, 234, 242, 0.55)" : beat ? "rgba(141, 149, 168, 0.45)" : "rgba(141, 149, 168, 0.14)";
      ctx.fillRect(Math.round(x(pip)) - (bar ? 1 : 0), 0, bar ? 2 : 1, height);
    }
    ctx.font = `${look.row - 1}px ui-monospace, Menlo, Consolas, monospace`;
    ctx.textBaseline = "middle";
    score.lanes.forEach(([instrument, flat], row) => {
      const top = look.pad + row * look.row;
      ctx.globalAlpha = 1;
      if (left) {
        ctx.fillStyle = MUTED;
        ctx.fillText(instrument.replace("_", " "), 2, top + look.row / 2);
      }
      ctx.fillStyle = SCORE_GROUPS[instrument] || SCORE_PERCUSSION;
      for (let i = 0; i < flat.length; i += 2) {
        const pip = flat[i];
        const next = i + 2 < flat.length ? flat[i + 2] : flat[0] + score.period;
        // A block is a sixteenth wide, narrower where hits come closer.
        const w = Math.max(1.5, ((Math.min(SIXTEENTH, next - pip) / score.period) * span) * 0.8);
        ctx.globalAlpha = SCORE_LEVEL_ALPHA[flat[i + 1]];
        ctx.fillRect(x(pip) + 0.5, top + (look.row > 6 ? 1 : 0), w, look.row - (look.row > 6 ? 2 : 1));
      }
    });
    ctx.globalAlpha = 1;
  }

  // The large view's step grid: one row per instrument and one cell per
  // sixteenth, laid out by the style sheet under the lanes so that both
  // share one time axis; each hit sits at its pip within its cell.
  function buildStepGrid(container, score) {
    const steps = Math.round(score.period / SIXTEENTH);
    container.replaceChildren();
    container.style.setProperty("--steps", String(steps));
    for (const [instrument, flat] of score.lanes) {
      const row = el("div", "v-row");
      row.append(el("span", "v-inst", instrument.replace("_", " ")));
      const cells = [];
      for (let s = 0; s < steps; s++) {
        const pip = s * SIXTEENTH;
        const kind = pip % (PPB * BEATS_PER_BAR) === 0 ? " on-bar" : pip % PPB === 0 ? " on-beat" : "";
        cells.push(el("span", `step${kind}`));
      }
      const colour = SCORE_GROUPS[instrument] || SCORE_PERCUSSION;
      for (let i = 0; i < flat.length; i += 2) {
        const pip = flat[i];
        const next = i + 2 < flat.length ? flat[i + 2] : flat[0] + score.period;
        const cell = Math.min(steps - 1, Math.floor(pip / SIXTEENTH));
        const hit = el("i", "hit");
        hit.style.left = `${((pip - cell * SIXTEENTH) / SIXTEENTH) * 100}%`;
        hit.style.width = `${(Math.min(SIXTEENTH, next - pip) / SIXTEENTH) * 84}%`;
        hit.style.background = colour;
        hit.style.opacity = String(SCORE_LEVEL_ALPHA[flat[i + 1]]);
        cells[cell].append(hit);
      }
      row.append(...cells);
      container.append(row);
    }
  }

  // ---- The page --------------------------------------------------------------
  function el(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function makeCard(p) {
    const card = el("article", "card");
    card.tabIndex = 0;
    card.dataset.index = p.index;
    card.dataset.name = p.name;
    p.canvas = el("canvas");
    p.canvas.setAttribute("role", "img");
    p.canvas.setAttribute("aria-label", `Drawing of ${p.name}`);
    const body = el("div", "body");
    body.append(el("h4", "name", p.name));
    const tags = el("div", "tags");
    tags.append(el("span", "tag", beatsText(p.period)));
    const dims = el("span", "tag dims");
    for (let axis = 0; axis < p.dims; axis++) dims.append(el("b", `ax-${AXES[axis]}`, AXES[axis]));
    tags.append(dims);
    body.append(tags);
    const desc = el("p", "desc", p.description);
    desc.title = p.description;
    body.append(desc);
    card.append(p.canvas, body);
    card.addEventListener("click", () => openViewer(p));
    p.item = lazy(p.canvas, (ctx, w, h) => paintCard(ctx, p, w, h, false), { pattern: p });
    return card;
  }

  // A score canvas draws itself at its laid-out width whenever it comes near
  // the screen, so it is never squeezed or stretched.
  function scoreCanvas(score, look, title) {
    const canvas = el("canvas", "score");
    canvas.title = title;
    canvas.style.height = `${scoreHeight(score, look)}px`;
    lazy(canvas, (ctx, w, h) => paintScore(ctx, score, w, h, look));
    return canvas;
  }

  // The first screenful is drawn at once rather than after the observer's
  // first report, which only comes with a later frame. Groups (families, or
  // matrix rows) are read in page order up to the first one below the
  // screen, so that the groups whose layout is skipped stay skipped, and
  // all positions are read before any drawing, so the layout is computed once.
  // (The matrix, with sixteen drawings to a row, draws just the screen at
  // once and leaves the rest near it to the observer.)
  function drawOnScreen() {
    const inMatrix = state.view === "matrix";
    const limit = window.innerHeight + (inMatrix ? 0 : NEAR_SCREEN);
    const groups = inMatrix ? matrix.rows.map((row) => row.line) : families.map((family) => family.section);
    const near = [];
    for (const group of groups) {
      if (group.hidden) continue;
      const rect = group.getBoundingClientRect();
      if (rect.top > limit) break;
      if (rect.bottom < -NEAR_SCREEN) continue;
      for (const canvas of group.querySelectorAll("canvas[data-item]")) {
        const item = lazyItems[+canvas.dataset.item];
        if (!item.drawn && canvas.getBoundingClientRect().width) near.push(item);
      }
    }
    for (const item of near) drawItem(item);
  }

  function build() {
    const gallery = $("gallery");
    const nav = $("packs");
    for (const pack of packs) {
      pack.section = el("section", "pack");
      pack.section.id = `pack-${pack.name}`;
      const heading = el("h2", null, pack.name);
      heading.append(el("small", null, `${pack.size} pattern${pack.size === 1 ? "" : "s"}`));
      pack.section.append(heading);
      if (pack.blurb) pack.section.append(el("p", null, pack.blurb));
      pack.chip = el("a", null, pack.name);
      pack.chip.href = `#pack-${pack.name}`;
      pack.chipCount = el("span", null, String(pack.size));
      pack.chip.append(pack.chipCount);
      pack.chip.addEventListener("click", (event) => {
        event.preventDefault();
        if (state.view !== "cards") setView("cards");
        pack.section.scrollIntoView({ block: "start" });
      });
      nav.append(pack.chip);
      gallery.append(pack.section);
    }
    for (const family of families) {
      family.section = el("div", "family");
      const heading = el("h3", null, family.key);
      heading.append(el("span", "n", String(family.size)));
      if (family.title) heading.append(el("span", "title", family.title));
      family.grid = el("div", "grid");
      family.section.append(heading);
      family.score = meta.scores[family.key] || null;
      family.scoreHeight = 0;
      if (family.score) {
        family.scoreHeight = scoreHeight(family.score);
        family.section.append(scoreCanvas(family.score, SCORE,
          `Drum score of ${family.key}: one row per instrument, one column per sixteenth; brighter is louder`));
      }
      family.section.append(family.grid);
      family.pack.section.append(family.section);
    }
    for (const p of patterns) {
      p.card = makeCard(p);
      p.family.grid.append(p.card);
    }
    const key = $("v-key");
    for (const [group, colour] of SCORE_KEY) {
      const swatch = el("i", "sw");
      swatch.style.background = colour;
      const span = el("span", "score-key");
      span.append(swatch, group);
      key.append(span);
    }
    estimateFamilyHeights();
  }

  // What each family's height will be once laid out (its visible cards in
  // rows of the grid's column count), so that the families whose layout is
  // skipped still take their true room and the scrollbar tells the truth.
  // Cards differ only in how many lines their name takes, so one card of the
  // first family (always laid out: it is kept visible) gives every size.
  const sizes = { card: 0, heading: 0, nameLine: 0, charWidth: 0, nameWidth: 0 };

  function measureSizes() {
    const first = families[0];
    first.section.style.contentVisibility = "visible";
    const card = first.grid.firstChild;
    const name = card.querySelector(".name");
    const ctx = document.createElement("canvas").getContext("2d");
    ctx.font = getComputedStyle(name).font;
    sizes.charWidth = ctx.measureText("m").width;
    sizes.nameWidth = name.clientWidth;
    sizes.nameLine = parseFloat(getComputedStyle(name).lineHeight) || 19;
    const height = (node) => node.getBoundingClientRect().height;
    sizes.card = height(card) - (nameLines(patterns[+card.dataset.index]) - 1) * sizes.nameLine;
    sizes.heading = height(first.section) - height(first.grid);
  }

  function nameLines(p) {
    const perLine = Math.max(1, Math.floor(sizes.nameWidth / sizes.charWidth));
    return Math.ceil(p.name.length / perLine);
  }

  function estimateFamilyHeights() {
    if (!families.length || state.view !== "cards") return;
    if (!sizes.card) measureSizes();
    const style = getComputedStyle($("gallery"));
    const width = $("gallery").clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const columns = Math.max(1, Math.floor((width + GRID_GAP) / (CARD_MIN_WIDTH + GRID_GAP)));
    for (const family of families) {
      const shown = family.members.filter((p) => p.match);
      let height = shown.length ? sizes.heading - GRID_GAP + (family.scoreHeight ? family.scoreHeight + SCORE.gap : 0) : 0;
      for (let row = 0; row < shown.length; row += columns) {
        const lines = Math.max(...shown.slice(row, row + columns).map(nameLines));
        height += GRID_GAP + sizes.card + (lines - 1) * sizes.nameLine;
      }
      family.section.style.containIntrinsicSize = `none ${height.toFixed(1)}px`;
    }
  }

  // ---- The beat-by-motion matrix -----------------------------------------------
  // One row per beat (its title and step grid), one column per motion, a
  // small drawing in every cell; built the first time it is shown.
  const matrix = { built: false, rows: [], motions: [], cells: [] };

  function motionOf(p) {
    const key = p.family.key;
    return key.startsWith("beat_") && p.name.startsWith(`${key}_`) ? p.name.slice(key.length + 1) : null;
  }

  function collectMatrix() {
    const titles = new Map(meta.motions);
    const rows = new Map();
    for (const p of patterns) {
      const motion = MATRIX_PACKS.has(p.family.pack.name) ? motionOf(p) : null;
      if (!motion) continue;
      if (!titles.has(motion)) titles.set(motion, motion);
      let row = rows.get(p.family.key);
      if (!row) {
        row = { key: p.family.key, title: p.family.title, score: meta.scores[p.family.key] || null, cells: new Map() };
        rows.set(row.key, row);
      }
      row.cells.set(motion, p);
    }
    matrix.motions = [...titles].map(([key, title]) => ({ key, title }));
    matrix.rows = [...rows.values()];
  }

  function buildMatrix() {
    if (matrix.built) return;
    matrix.built = true;
    collectMatrix();
    const chips = $("mx-motions");
    for (const motion of matrix.motions) {
      motion.chip = el("button", "chip", motion.key);
      motion.chip.type = "button";
      motion.chip.title = `${motion.title}: show or hide this column`;
      motion.chip.addEventListener("click", () => {
        if (state.cols.has(motion.key)) state.cols.delete(motion.key);
        else state.cols.add(motion.key);
        applyMatrixFilter();
        updateHash();
      });
      chips.append(motion.chip);
    }
    const grid = $("mx-grid");
    const head = el("div", "mx-line mx-head");
    head.append(el("div", "mx-corner", "beat \u2193 \u00b7 motion \u2192"));
    for (const motion of matrix.motions) {
      motion.head = el("div", "mx-col", motion.key);
      motion.head.title = motion.title;
      head.append(motion.head);
    }
    grid.append(head);
    for (const row of matrix.rows) {
      row.line = el("div", "mx-line");
      const label = el("div", "mx-beat");
      label.append(el("b", null, row.title || row.key), el("code", null, row.key));
      label.title = `${row.title} (${row.key})`;
      if (row.score) {
        label.append(scoreCanvas(row.score, MATRIX_SCORE, `Drum score of ${row.key}: one row per instrument`));
      }
      row.line.append(label);
      row.slots = matrix.motions.map((motion) => {
        const p = row.cells.get(motion.key);
        const slot = el("div", "mx-cell");
        if (!p) {
          slot.classList.add("absent");
          row.line.append(slot);
          return { slot, motion, p: null };
        }
        slot.tabIndex = 0;
        slot.dataset.name = p.name;
        slot.title = `${p.name}\n${p.description}`;
        const canvas = el("canvas");
        canvas.setAttribute("role", "img");
        canvas.setAttribute("aria-label", `Drawing of ${p.name}`);
        slot.append(canvas);
        const cell = { slot, motion, p, pip: null };
        cell.item = lazy(canvas, (ctx, w, h) => paintCell(ctx, p, w, h, false, cell.pip), { pattern: p });
        slot.addEventListener("click", () => openViewer(p));
        slot.addEventListener("keydown", (event) => {
          if (event.key === "Enter") openViewer(p);
        });
        slot.addEventListener("pointerenter", () => playCell(cell));
        slot.addEventListener("pointerleave", () => stopCell(cell));
        matrix.cells.push(cell);
        row.line.append(slot);
        return cell;
      });
      grid.append(row.line);
    }
  }

  // A cell under the pointer plays: a marker runs along its path at 120 BPM.
  const CELL_BPM = 120;
  let playingCell = null;

  function playCell(cell) {
    stopCell(playingCell);
    playingCell = cell;
    const started = performance.now();
    const tick = (now) => {
      if (playingCell !== cell) return;
      cell.pip = Math.floor(((now - started) / 60000) * CELL_BPM * PPB) % cell.p.period;
      drawItem(cell.item);
      cell.frame = requestAnimationFrame(tick);
    };
    cell.frame = requestAnimationFrame(tick);
  }

  function stopCell(cell) {
    if (!cell) return;
    cancelAnimationFrame(cell.frame);
    cell.pip = null;
    if (cell.item.drawn) drawItem(cell.item);
    if (playingCell === cell) playingCell = null;
  }

  // Rows are the beats with a match, columns the chosen motions with a
  // match; cells that do not match in a shown row and column stay empty.
  function applyMatrixFilter() {
    if (!matrix.built) return 0;
    const shownMotions = new Set();
    const shownRows = new Set();
    for (const row of matrix.rows) {
      for (const cell of row.slots) {
        if (cell.p && cell.p.match && (!state.cols.size || state.cols.has(cell.motion.key))) {
          shownMotions.add(cell.motion.key);
          shownRows.add(row);
        }
      }
    }
    for (const motion of matrix.motions) {
      motion.head.hidden = !shownMotions.has(motion.key);
      motion.chip.setAttribute("aria-pressed", String(state.cols.has(motion.key)));
    }
    let shown = 0;
    for (const row of matrix.rows) {
      row.line.hidden = !shownRows.has(row);
      for (const cell of row.slots) {
        cell.slot.hidden = !shownMotions.has(cell.motion.key);
        const on = Boolean(cell.p && cell.p.match && !cell.slot.hidden && !row.line.hidden);
        cell.slot.classList.toggle("off", !on);
        if (on) shown++;
      }
    }
    const grid = $("mx-grid");
    grid.style.setProperty("--columns", String(Math.max(1, shownMotions.size)));
    // One motion (all figure eights, say): the beats flow side by side, each
    // a tile of its heading, step grid and a larger drawing.
    const single = shownMotions.size === 1;
    if (grid.classList.contains("single") !== single) {
      grid.classList.toggle("single", single);
      redrawDrawn();
    }
    $("mx-empty").hidden = shown > 0;
    return shown;
  }

  function matrixOrder() {
    return matrix.cells.filter((cell) => !cell.slot.classList.contains("off")).map((cell) => cell.p);
  }

  // ---- Filter ------------------------------------------------------------------
  // The filter's words: runs of letters and digits; a hyphen or an underscore
  // inside a word keeps it whole ("four-floor", "3-2", "beat_four_floor").
  function textWords(text) {
    return text.toLowerCase().split(/[^\p{L}\p{N}_-]+/u)
      .map((word) => word.replace(/^[-_]+|[-_]+$/g, "")).filter(Boolean);
  }

  // A name's words (split at underscores), each with the rest of the name
  // after it, so that `floor_surge` or `four_floor` find `beat_four_floor_surge`.
  function nameWords(name) {
    const parts = name.toLowerCase().split("_").filter(Boolean);
    return parts.map((_, i) => parts.slice(i).join("_"));
  }

  // A pattern matches when every word of the text starts a word of its name,
  // family or description, or starts its pack's name (never a word inside
  // it: `floor` does not select the dancefloor pack).
  function matches(p, words) {
    if (!words.length) return true;
    if (!p.keys) p.keys = [...nameWords(p.name), ...nameWords(p.family.key), ...textWords(p.description)];
    const pack = p.family.pack.name;
    return words.every((word) => pack.startsWith(word) || p.keys.some((key) => key.startsWith(word)));
  }

  const filterInput = $("filter");
  let flow = false;

  // Shows the patterns that match the text; returns how many.
  function applyFilter(text) {
    const words = textWords(text);
    for (const group of [...packs, ...families]) group.shown = 0;
    let shown = 0;
    for (const p of patterns) {
      p.match = matches(p, words);
      p.card.hidden = !p.match;
      if (p.match) {
        shown++;
        p.family.shown++;
        p.family.pack.shown++;
      }
    }
    const shownFamilies = families.filter((family) => family.shown > 0);
    for (const family of families) family.section.hidden = family.shown === 0;
    // One card to a family (a filter such as one motion of every beat): the
    // families flow side by side, several to a row, each with its score.
    flow = shownFamilies.length > 1 && shownFamilies.every((family) => family.shown === 1);
    $("gallery").classList.toggle("flow", flow);
    estimateFamilyHeights();
    for (const pack of packs) {
      pack.section.hidden = pack.shown === 0;
      pack.chipCount.textContent = String(pack.shown);
      pack.chip.classList.toggle("none", pack.shown === 0);
    }
    const inMatrix = applyMatrixFilter();
    $("count").textContent = words.length
      ? `${shown} of ${patterns.length} patterns`
      : `${patterns.length} patterns`;
    const empty = $("empty");
    empty.hidden = shown > 0;
    empty.textContent = shown > 0 ? "" : `No pattern matches \u201c${text.trim()}\u201d.`;
    if (state.view === "matrix") $("count").textContent += ` \u00b7 ${inMatrix} in the matrix`;
    return shown;
  }

  function visiblePatterns() {
    return state.view === "matrix" ? matrixOrder() : patterns.filter((p) => p.match);
  }

  let filterTimer = 0;
  filterInput.addEventListener("input", () => {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(() => {
      applyFilter(filterInput.value);
      updateHash();
      window.scrollTo(0, 0); // the matches start at the top
    }, 60);
  });

  // ---- Views and scale -----------------------------------------------------------
  function setView(view) {
    state.view = view;
    if (view === "matrix") buildMatrix();
    $("gallery").hidden = view !== "cards";
    $("matrix").hidden = view !== "matrix";
    for (const button of document.querySelectorAll("#views button")) {
      button.setAttribute("aria-pressed", String(button.dataset.view === view));
    }
    applyFilter(filterInput.value);
    updateHash();
    drawOnScreen();
  }

  function setFit(fit) {
    state.fit = fit;
    $("fit").checked = fit;
    redrawDrawn();
    updateHash();
  }

  for (const button of document.querySelectorAll("#views button")) {
    button.addEventListener("click", () => setView(button.dataset.view));
  }
  $("fit").addEventListener("change", (event) => setFit(event.target.checked));

  // ---- One pattern, large ----------------------------------------------------------
  const viewer = { p: null, pip: 0, playing: false, startTime: 0, startPip: 0, frame: 0, score: null };

  function viewerLook(p) {
    return state.look || autoLook(p);
  }

  function openViewer(p) {
    stopPlaying();
    viewer.p = p;
    viewer.pip = 0;
    $("v-name").textContent = p.name;
    $("v-where").textContent = `${p.family.pack.name} \u00b7 ${p.family.key}`;
    $("v-desc").textContent = p.description;
    const record = $("v-record");
    record.replaceChildren();
    const rows = [
      ["period", `${p.period} pips \u00b7 ${beatsText(p.period)}`],
      ["dimensions", `${p.dims} (${AXES.slice(0, p.dims).join(", ")})`],
      ["reach", `${reach(p).toFixed(3)} (largest |value|)`],
      ["pack", p.family.pack.name],
      ["family", p.family.key + (p.family.title ? ` \u2014 ${p.family.title}` : "")],
      ["catalogue", `#${p.index + 1} of ${patterns.length}`],
    ];
    for (const [term, value] of rows) record.append(el("dt", null, term), el("dd", null, value));
    const score = meta.scores[p.family.key];
    viewer.score = score && score.period === p.period ? score : null;
    $("v-score-box").hidden = !viewer.score;
    $("v-key").classList.toggle("no-score", !viewer.score);
    if (viewer.score) buildStepGrid($("v-score"), viewer.score);
    $("viewer").hidden = false;
    drawViewer();
    updateHash();
  }

  function closeViewer() {
    if (!viewer.p) return;
    stopPlaying();
    $("viewer").hidden = true;
    const p = viewer.p;
    viewer.p = null;
    updateHash();
    const cell = matrix.cells.find((c) => c.p === p);
    const target = state.view === "matrix" && cell ? cell.slot : p.card;
    target.focus({ preventScroll: true });
  }

  function stepViewer(direction) {
    const shown = visiblePatterns();
    if (!shown.length) return;
    const here = shown.indexOf(viewer.p);
    openViewer(shown[(here + direction + shown.length) % shown.length]);
  }

  // The lanes and the step grid share one time axis: both leave the same
  // room on the left (labels) and right, which the style sheet sets.
  function timeMargins() {
    const style = getComputedStyle($("v-time"));
    return { left: parseFloat(style.getPropertyValue("--time-left")) || 48,
      right: parseFloat(style.getPropertyValue("--time-right")) || 12 };
  }

  function lanesBox(w, h) {
    const { left, right } = timeMargins();
    return { x: left, y: 22, w: w - left - right, h: h - 30 };
  }

  function drawViewer() {
    const p = viewer.p;
    const look = viewerLook(p);
    const fit = !state.largeFixed;
    $("v-path").classList.toggle("turnable", look === "3d");
    const path = fitCanvas($("v-path"));
    const lanesCanvas = fitCanvas($("v-lanes"));
    let zoom = 1;
    if (path) {
      path.ctx.clearRect(0, 0, path.w, path.h);
      const f = drawPath(path.ctx, p, { x: 12, y: 12, w: path.w - 24, h: path.h - 24 },
        { width: 2.4, pip: viewer.pip, look, fit, label: 0 });
      zoom = f.zoom;
      drawAxisKey(path.ctx, look, path.h);
    }
    if (lanesCanvas) {
      lanesCanvas.ctx.clearRect(0, 0, lanesCanvas.w, lanesCanvas.h);
      drawLanes(lanesCanvas.ctx, p, lanesBox(lanesCanvas.w, lanesCanvas.h), { width: 1.8, labels: true, fit });
    }
    $("v-time").style.setProperty("--t", String((viewer.pip + 0.5) / p.period));
    $("v-scale").textContent = fit
      ? `fitted: ${zoomText(zoom)} the fixed scale; lanes \u00b1${rangeText(laneRange(p, true))}`
      : "fixed scale: the box is \u00b11";
    for (const button of document.querySelectorAll("#v-looks button")) {
      button.setAttribute("aria-pressed", String(button.dataset.look === look));
    }
    for (const button of document.querySelectorAll("#v-scales button")) {
      button.setAttribute("aria-pressed", String((button.dataset.scale === "fit") === fit));
    }
    const value = (axis) => {
      const v = at(p, axis, viewer.pip);
      return (v < 0 ? "\u2212" : "+") + Math.abs(v).toFixed(3);
    };
    const lines = [`pip ${viewer.pip}   beat ${beatPosition(viewer.pip)}`];
    for (let axis = 0; axis < 3; axis++) lines.push(`${AXES[axis]}  ${value(axis)}`);
    $("v-readout").textContent = lines.join("\n");
  }

  // Which way each axis runs in the current projection, in the corner; the
  // axis that points at the viewer of a flat view is a ringed dot (the side
  // view looks from the performer's left, so +x points away).
  const TOWARDS_VIEWER = { front: "+z forward", top: "+y up", side: "\u2212x" };
  // The catalogue's directions: x to the right, y up, z forward.
  const AXIS_WORDS = ["right", "up", "forward"];

  function drawAxisKey(ctx, look, h) {
    const project = projection(look);
    const origin = [92, h - 30]; // room on the left for "+z forward"
    ctx.save();
    ctx.font = "11px ui-monospace, Menlo, Consolas, monospace";
    ctx.lineWidth = 1.5;
    AXES.forEach((name, axis) => {
      const unit = [0, 0, 0];
      unit[axis] = 1;
      const [u, v] = project(...unit);
      const text = `+${name} ${AXIS_WORDS[axis]}`;
      ctx.strokeStyle = ctx.fillStyle = AXIS_COLOURS[axis];
      if (Math.hypot(u, v) < 0.15) {
        ctx.beginPath();
        ctx.arc(origin[0], origin[1], 4, 0, 2 * Math.PI);
        ctx.stroke();
        ctx.fillText(`${TOWARDS_VIEWER[look] || text} (towards you)`, origin[0] - 50, origin[1] + 18);
        return;
      }
      const end = [origin[0] + 22 * u, origin[1] - 22 * v];
      line(ctx, origin[0], origin[1], end[0], end[1]);
      const left = u < -0.1 ? ctx.measureText(text).width + 3 : -3;
      ctx.fillText(text, end[0] - left, end[1] + (v < -0.1 ? 10 : -3));
    });
    ctx.restore();
  }

  // ---- Hearing a beat --------------------------------------------------------------
  // The large view of a beat pattern plays its score with Web Audio: every
  // hit is a short drum sound synthesised in the page from the recipes of the
  // companion's drum synth (meta.drums: a sine with a falling pitch, a
  // filtered noise, or a few inharmonic partials), scheduled on the audio
  // clock a little ahead of time. While it sounds, the moving point and the
  // playhead are read from the same audio clock, so what moves is what is heard.
  const SOUND_AHEAD = 0.15; // seconds of hits scheduled ahead of the audio clock
  const SOUND_EVERY = 25; // milliseconds between two rounds of scheduling
  const SOUND_LEAD = 0.05; // seconds from pressing Play to the first sound
  const SOUND_GAIN = 0.3; // the mix's level: a loud bar stays below full scale
  const sound = { ctx: null, noise: null, out: null, timer: 0, startAt: 0, startPip: 0,
    bpm: 120, next: 0, hits: [], scheduled: 0, wanted: true, session: 0 };

  function audioContext() {
    if (!sound.ctx) {
      sound.ctx = new AudioContext();
      // A fixed noise (the synth's 32-bit congruential generator), a second long.
      const rate = sound.ctx.sampleRate;
      sound.noise = sound.ctx.createBuffer(1, rate, rate);
      const data = sound.noise.getChannelData(0);
      let state = 22695477;
      for (let i = 0; i < data.length; i++) {
        state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
        data[i] = state / 2147483648 - 1;
      }
    }
    return sound.ctx;
  }

  // A gain that starts at `level` at time t and decays exponentially with
  // time constant `decay` seconds.
  function decaying(ctx, t, level, decay) {
    const gain = ctx.createGain();
    gain.gain.setValueAtTime(level, t);
    gain.gain.setTargetAtTime(0, t, decay);
    return gain;
  }

  function scaled(ctx, level) {
    const gain = ctx.createGain();
    gain.gain.value = level;
    return gain;
  }

  function noiseFrom(ctx, t, seconds) {
    const source = ctx.createBufferSource();
    source.buffer = sound.noise;
    source.start(t);
    source.stop(t + seconds);
    return source;
  }

  function sineFrom(ctx, t, hz, seconds) {
    const osc = ctx.createOscillator();
    osc.frequency.setValueAtTime(hz, t);
    osc.start(t);
    osc.stop(t + seconds);
    return osc;
  }

  // One hit of an instrument at time t and level `gain`, into `out`.
  const SOUND_KINDS = {
    drum(ctx, out, t, gain, r, length) {
      const osc = sineFrom(ctx, t, r.start_hz, length);
      osc.frequency.setTargetAtTime(r.end_hz, t, r.sweep);
      let body = osc.connect(decaying(ctx, t, gain, r.decay));
      if (r.drive) {
        const shape = ctx.createWaveShaper();
        shape.curve = Float32Array.from({ length: 257 }, (_, i) => {
          const v = (i - 128) / 128;
          return v + r.drive * v * Math.abs(v);
        });
        body = body.connect(shape);
      }
      body.connect(out);
      if (r.click) noiseFrom(ctx, t, length).connect(decaying(ctx, t, gain * r.click, r.click_decay ?? 0.002)).connect(out);
    },
    hiss(ctx, out, t, gain, r, length) {
      const b = r.brightness;
      const noise = noiseFrom(ctx, t, length);
      const envelope = decaying(ctx, t, gain, r.decay);
      // The synth's one-pole high-pass, y[n] = b (y[n-1] + x[n] - x[n-1]),
      // beside the share of white noise that brightness leaves.
      noise.connect(ctx.createIIRFilter([b, -b], [1, -b])).connect(envelope);
      noise.connect(scaled(ctx, 1 - b)).connect(envelope);
      let last = envelope;
      if (r.flutter) {
        const hands = ctx.createGain();
        hands.gain.setValueAtTime(1, t);
        const ripple = sineFrom(ctx, t, drums.flutter_hz, length);
        ripple.connect(decaying(ctx, t, r.flutter, drums.flutter_decay)).connect(hands.gain);
        last = envelope.connect(hands);
      }
      last.connect(out);
      if (r.tone) sineFrom(ctx, t, r.tone_hz, length).connect(decaying(ctx, t, gain * r.tone, drums.shell_decay)).connect(out);
    },
    metal(ctx, out, t, gain, r, length) {
      const weights = r.partials.map((_, i) => 1 / ((i + 1) * (i + 1)));
      const total = weights.reduce((a, w) => a + w, 0);
      const ring = decaying(ctx, t, gain / total, r.decay);
      r.partials.forEach((hz, i) => sineFrom(ctx, t, hz, length).connect(scaled(ctx, weights[i])).connect(ring));
      ring.connect(out);
      noiseFrom(ctx, t, length).connect(decaying(ctx, t, gain * 0.5, drums.tick_decay)).connect(out);
    },
  };
  const drums = meta.drums;

  function strike(instrument, t, level) {
    const recipe = drums && drums.recipes[instrument];
    if (!recipe) return;
    const [kind, settings] = recipe;
    const length = -Math.log(drums.silent) * settings.decay;
    SOUND_KINDS[kind](sound.ctx, sound.out, t, drums.level_gain[["ghost", "normal", "accent"][level]], settings, length);
  }

  // Schedules every hit from the last round up to SOUND_AHEAD past the clock.
  function scheduleHits() {
    const ctx = sound.ctx;
    const period = viewer.score.period;
    const pipSeconds = 60 / (sound.bpm * PPB);
    const until = sound.startPip + (ctx.currentTime + SOUND_AHEAD - sound.startAt) / pipSeconds;
    for (let loop = Math.floor(sound.next / period); loop * period < until; loop++) {
      for (const [pip, instrument, level] of sound.hits) {
        const at = loop * period + pip;
        if (at < sound.next || at >= until) continue;
        strike(instrument, sound.startAt + (at - sound.startPip) * pipSeconds, level);
        sound.scheduled++;
      }
    }
    sound.next = until;
    const button = $("v-sound");
    button.dataset.startPip = String(sound.startPip);
    button.dataset.until = String(until);
    button.dataset.scheduled = String(sound.scheduled);
    button.dataset.clock = String(ctx.currentTime - sound.startAt); // seconds of the beat heard so far
  }

  // Starts the sound once the audio clock runs (a browser lets it run after
  // a click or a key); until then the point keeps the page's own clock.
  function startSound() {
    const ctx = audioContext();
    const session = ++sound.session;
    ctx.resume().then(() => {
      if (session !== sound.session || !viewer.playing) return;
      sound.out = scaled(ctx, SOUND_GAIN);
      sound.out.connect(ctx.destination);
      sound.hits = viewer.score.lanes.flatMap(([instrument, flat]) =>
        flat.filter((_, i) => i % 2 === 0).map((pip, i) => [pip, instrument, flat[2 * i + 1]]));
      sound.bpm = viewerBpm();
      sound.startAt = ctx.currentTime + SOUND_LEAD;
      sound.startPip = viewer.pip;
      sound.next = viewer.pip;
      sound.scheduled = 0;
      scheduleHits();
      sound.timer = setInterval(scheduleHits, SOUND_EVERY);
    });
  }

  function stopSound() {
    sound.session++;
    clearInterval(sound.timer);
    sound.timer = 0;
    if (sound.out) sound.out.disconnect(); // silences whatever still rings
    sound.out = null;
  }

  // The pip the audio clock has reached, less the output's latency.
  function soundPip() {
    const ctx = sound.ctx;
    const heard = ctx.currentTime - (ctx.outputLatency || ctx.baseLatency || 0);
    const pips = Math.max(0, Math.floor((heard - sound.startAt) * sound.bpm * PPB / 60));
    return (sound.startPip + pips) % viewer.p.period;
  }

  function viewerBpm() {
    return Math.min(300, Math.max(20, +$("v-bpm").value || 120));
  }

  function setSoundWanted(wanted) {
    sound.wanted = wanted;
    $("v-sound").setAttribute("aria-pressed", String(wanted));
    $("v-sound").textContent = wanted ? "Sound: on" : "Sound: off";
    if (viewer.playing) {
      stopPlaying();
      startPlaying();
    } else if (wanted) {
      startPlaying();
    }
  }

  function startPlaying() {
    viewer.playing = true;
    viewer.startTime = performance.now();
    viewer.startPip = viewer.pip;
    const audible = sound.wanted && viewer.score && drums;
    if (audible) startSound();
    $("v-play").textContent = "Pause";
    const tick = (now) => {
      if (!viewer.playing || !viewer.p) return;
      if (audible && sound.timer) {
        viewer.pip = soundPip();
      } else {
        const pips = Math.floor(((now - viewer.startTime) / 60000) * viewerBpm() * PPB);
        viewer.pip = (viewer.startPip + pips) % viewer.p.period;
      }
      drawViewer();
      viewer.frame = requestAnimationFrame(tick);
    };
    viewer.frame = requestAnimationFrame(tick);
  }

  function stopPlaying() {
    viewer.playing = false;
    cancelAnimationFrame(viewer.frame);
    stopSound();
    $("v-play").textContent = "Play";
  }

  $("v-sound").addEventListener("click", () => setSoundWanted(!sound.wanted));
  // A new tempo while the beat sounds starts it again from where it is.
  $("v-bpm").addEventListener("change", () => {
    if (viewer.playing && sound.timer) {
      stopPlaying();
      startPlaying();
    }
  });
  $("v-play").addEventListener("click", () => (viewer.playing ? stopPlaying() : startPlaying()));
  $("v-close").addEventListener("click", closeViewer);
  $("v-prev").addEventListener("click", () => stepViewer(-1));
  $("v-next").addEventListener("click", () => stepViewer(1));
  $("viewer").addEventListener("click", (event) => {
    if (event.target === $("viewer")) closeViewer();
  });
  for (const button of document.querySelectorAll("#v-looks button")) {
    button.addEventListener("click", () => {
      state.look = button.dataset.look;
      drawViewer();
      updateHash();
    });
  }
  for (const button of document.querySelectorAll("#v-scales button")) {
    button.addEventListener("click", () => {
      state.largeFixed = button.dataset.scale === "fixed";
      drawViewer();
      updateHash();
    });
  }

  // Scrubbing: the pointer over the lanes or the step grid moves the
  // playhead (a mouse by hovering, a finger by dragging).
  function scrub(event) {
    if (!viewer.p) return;
    const rect = $("v-time").getBoundingClientRect();
    const { left, right } = timeMargins();
    const share = (event.clientX - rect.left - left) / (rect.width - left - right);
    stopPlaying();
    viewer.pip = Math.min(viewer.p.period - 1, Math.max(0, Math.floor(share * viewer.p.period)));
    drawViewer();
  }
  $("v-time").addEventListener("pointermove", (event) => {
    if (event.pointerType === "mouse" || event.buttons) scrub(event);
  });
  $("v-time").addEventListener("pointerdown", scrub);

  // Dragging the path in 3-D turns it.
  let turning = null;
  $("v-path").addEventListener("pointerdown", (event) => {
    if (!viewer.p || viewerLook(viewer.p) !== "3d") return;
    turning = { x: event.clientX, y: event.clientY, yaw: view3d.yaw, pitch: view3d.pitch };
    event.currentTarget.setPointerCapture(event.pointerId);
  });
  $("v-path").addEventListener("pointermove", (event) => {
    if (!turning) return;
    view3d.yaw = turning.yaw + (event.clientX - turning.x) * 0.01;
    view3d.pitch = Math.max(-1.4, Math.min(1.4, turning.pitch + (event.clientY - turning.y) * 0.01));
    drawViewer();
  });
  const endTurn = () => {
    if (!turning) return;
    turning = null;
    redrawDrawn(); // the cards in 3-D follow the large view's turn
  };
  $("v-path").addEventListener("pointerup", endTurn);
  $("v-path").addEventListener("pointercancel", endTurn);

  window.addEventListener("resize", () => {
    estimateFamilyHeights();
    if (viewer.p) drawViewer();
    redrawDrawn();
  });

  document.addEventListener("keydown", (event) => {
    const typing = event.target instanceof HTMLInputElement;
    if (viewer.p) {
      if (event.key === "Escape") closeViewer();
      else if (typing) return;
      else if (event.key === "ArrowLeft") stepViewer(-1);
      else if (event.key === "ArrowRight") stepViewer(1);
      else if (event.key === " ") viewer.playing ? stopPlaying() : startPlaying();
      else return;
      event.preventDefault();
    } else if (event.key === "/" && !typing) {
      event.preventDefault();
      filterInput.focus();
    } else if (event.key === "Enter" && event.target.classList.contains("card")) {
      openViewer(patterns[+event.target.dataset.index]);
    } else if (event.key === "Escape" && event.target === filterInput && filterInput.value) {
      filterInput.value = "";
      applyFilter("");
      updateHash();
    }
  });

  // ---- The address ------------------------------------------------------------------
  // #q=TEXT filters, #p=NAME opens one pattern, view=matrix, fit=1,
  // look=front|top|side|3d, scale=fixed and cols=KEY,KEY keep the rest.
  function updateHash() {
    const hash = new URLSearchParams();
    if (filterInput.value.trim()) hash.set("q", filterInput.value.trim());
    if (state.view !== "cards") hash.set("view", state.view);
    if (state.fit) hash.set("fit", "1");
    if (state.cols.size) hash.set("cols", [...state.cols].join(","));
    if (state.look) hash.set("look", state.look);
    if (state.largeFixed) hash.set("scale", "fixed");
    if (viewer.p) hash.set("p", viewer.p.name);
    const text = hash.toString();
    history.replaceState(null, "", text ? `#${text}` : location.pathname + location.search);
  }

  function applyHash(hashParams) {
    state.look = Object.hasOwn(LOOKS, hashParams.get("look")) ? hashParams.get("look") : null;
    state.largeFixed = hashParams.get("scale") === "fixed";
    state.cols = new Set((hashParams.get("cols") || "").split(",").filter(Boolean));
    const fit = hashParams.get("fit") === "1";
    if (fit !== state.fit) setFit(fit);
    const query = hashParams.get("q") || "";
    filterInput.value = query;
    setView(hashParams.get("view") === "matrix" ? "matrix" : "cards");
    const wanted = patterns.find((p) => p.name === hashParams.get("p"));
    if (wanted) openViewer(wanted);
    else if (viewer.p) closeViewer();
  }

  window.addEventListener("hashchange", () => {
    applyHash(new URLSearchParams(location.hash.slice(1)));
  });

  // ---- Self-check (#selftest) ------------------------------------------------------------
  // Draws every pattern off screen with and without its curves and counts the
  // pixels the curves add, then runs each `probe` text through the filter.
  function inkedPixels(bare, full, width, box) {
    return inkBox(bare, full, width, box).count;
  }

  // The pixels that differ between two drawings inside a box: how many, and
  // the width and height of the smallest rectangle holding them.
  function inkBox(bare, full, width, box) {
    let count = 0, x0 = Infinity, x1 = -Infinity, y0 = Infinity, y1 = -Infinity;
    const left = Math.max(0, Math.floor(box.x));
    const right = Math.min(width, Math.ceil(box.x + box.w));
    const top = Math.max(0, Math.floor(box.y));
    const bottom = Math.ceil(box.y + box.h);
    for (let y = top; y < bottom; y++) {
      for (let x = left; x < right; x++) {
        const i = (y * width + x) * 4;
        if (bare[i] !== full[i] || bare[i + 1] !== full[i + 1] ||
            bare[i + 2] !== full[i + 2] || bare[i + 3] !== full[i + 3]) {
          count++;
          x0 = Math.min(x0, x); x1 = Math.max(x1, x);
          y0 = Math.min(y0, y); y1 = Math.max(y1, y);
        }
      }
    }
    return { count, width: count ? x1 - x0 + 1 : 0, height: count ? y1 - y0 + 1 : 0 };
  }

  function checkCanvas(width, height) {
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const ctx = canvas.getContext("2d", { willReadFrequently: true });
    return (paint) => {
      paint(ctx, true);
      const bare = ctx.getImageData(0, 0, width, height).data;
      paint(ctx, false);
      return [bare, ctx.getImageData(0, 0, width, height).data];
    };
  }

  function selfCheck() {
    const { width, height } = CHECK_CARD;
    const draw = checkCanvas(width, height);
    const boxes = cardBoxes(width, height);
    const pathWithoutInk = [];
    const lanesWithoutInk = [];
    const started = performance.now();
    for (const p of patterns) {
      const [bare, full] = draw((ctx, isBare) => paintCard(ctx, p, width, height, isBare));
      if (inkedPixels(bare, full, width, boxes.path) === 0) pathWithoutInk.push(p.name);
      if (inkedPixels(bare, full, width, boxes.lanes) === 0) lanesWithoutInk.push(p.name);
    }
    buildMatrix();
    const cellSize = 64;
    const drawCell = checkCanvas(cellSize, cellSize);
    const cellsWithoutInk = matrix.cells.filter(({ p }) => {
      const [bare, full] = drawCell((ctx, isBare) => paintCell(ctx, p, cellSize, cellSize, isBare));
      return inkedPixels(bare, full, cellSize, cellBox(cellSize, cellSize)) === 0;
    }).map(({ p }) => p.name);
    // How much of the card's path box a pattern's path covers, at either scale.
    const fitProbes = params.getAll("fitprobe").map((name) => {
      const p = patterns.find((q) => q.name === name);
      const covered = (fit) => {
        const [bare, full] = draw((ctx, isBare) => paintCard(ctx, p, width, height, isBare, fit));
        const box = inkBox(bare, full, width, boxes.path);
        return Math.max(box.width / boxes.path.w, box.height / boxes.path.h);
      };
      return { name, fixed: covered(false), fit: covered(true) };
    });
    const result = {
      patterns: patterns.length,
      cards: document.querySelectorAll("#gallery .card").length,
      cards_with_canvas: document.querySelectorAll("#gallery .card > canvas").length,
      card_names: [...document.querySelectorAll("#gallery .card")].map((card) => card.dataset.name),
      samples_expected: totalValues,
      samples_found: lanes.length,
      // Position-weighted, so that values in the wrong place change it too.
      samples_checksum: lanes.reduce((sum, value, i) => sum + value * ((i % 7) + 1), 0),
      paths_without_ink: pathWithoutInk,
      lanes_without_ink: lanesWithoutInk,
      // Cards or matrix cells, whichever the page shows.
      cards_drawn_on_screen: lazyItems.filter((item) => item.pattern && item.drawn).length,
      score_grids: [...document.querySelectorAll("#gallery .family > canvas.score")]
        .map((canvas) => canvas.closest(".family").querySelector("h3").firstChild.textContent),
      matrix: {
        rows: matrix.rows.map((row) => row.key),
        columns: matrix.motions.map((motion) => motion.key),
        cells: document.querySelectorAll("#mx-grid .mx-cell:not(.absent) > canvas").length,
        cells_without_ink: cellsWithoutInk,
      },
      fit_probes: fitProbes,
      check_ms: Math.round(performance.now() - started),
      probes: [],
    };
    for (const query of params.getAll("probe")) {
      const shown = applyFilter(query);
      result.probes.push({
        query,
        shown,
        visible: patterns.filter((p) => p.match).map((p) => p.name),
        in_matrix: matrixOrder().length,
        empty_message: $("empty").hidden ? null : $("empty").textContent,
        count_text: $("count").textContent,
      });
    }
    applyFilter("");
    result.visible_after_clear = patterns.filter((p) => p.match).length;
    openViewer(patterns[0]);
    result.viewer = { name: $("v-name").textContent, shown: !$("viewer").hidden,
      path_width: $("v-path").width, lanes_width: $("v-lanes").width };
    closeViewer();
    return result;
  }

  function report(result) {
    const out = $("selftest");
    out.textContent = JSON.stringify({ ...result, ...timings });
    out.dataset.done = "1";
  }

  // ---- Start ------------------------------------------------------------------------------------
  async function start() {
    const status = $("status");
    try {
      const before = performance.now();
      lanes = await unpack();
      timings.unpack_ms = Math.round(performance.now() - before);
    } catch (error) {
      status.textContent = `The gallery could not unpack its drawings: ${error.message}`;
      if (params.has("selftest")) report({ error: String(error.message) });
      return;
    }
    status.remove();
    build();
    timings.built_ms = Math.round(performance.now());
    applyHash(params);
    drawOnScreen();
    timings.ready_ms = Math.round(performance.now());
    if (params.has("selftest")) report(selfCheck());
    // How long the page took to become usable, for anyone measuring it.
    document.body.dataset.readyMs = timings.ready_ms;
    document.body.dataset.unpackMs = timings.unpack_ms;
    document.body.dataset.builtMs = timings.built_ms;
    document.body.dataset.scriptMs = timings.script_ms;
  }

  start();
})();
