"use strict";
// The gallery: unpacks the embedded samples, builds one card per pattern
// grouped by pack and family, draws each card while it is on or near the
// screen, filters, and shows one pattern large.
(function () {
  const meta = JSON.parse(document.getElementById("meta").textContent);
  const PPB = meta.pips_per_beat;
  const QUANT = meta.quant;
  const BEATS_PER_BAR = 4;
  // Depth is drawn obliquely: +z moves up and to the right at 45 degrees,
  // shortened to 0.35 so the path keeps its x/y proportions.
  const OBLIQUE = 0.35;
  const AXES = ["x", "y", "z"];
  const AXIS_COLOURS = ["#ff7a6b", "#45d4c0", "#a98bff"];
  const GUIDE = "rgba(141, 149, 168, 0.20)";
  // The size at which the self-check draws every card off screen.
  const CHECK_CARD = { width: 160, height: 150 };
  const NEAR_SCREEN = 800; // cards this close to the screen (in pixels) are drawn
  // The card grid as the style sheet lays it out, for height estimates.
  const CARD_MIN_WIDTH = 220;
  const GRID_GAP = 12;
  // A beat family's drum score as a step grid: one row per instrument, one
  // column per sixteenth, under the family heading.
  const SCORE = { row: 9, label: 58, pad: 4, maxWidth: 760, gap: 8 };
  const SCORE_GROUPS = {
    kick: "#ffb454", snare: "#45d4c0", clap: "#45d4c0", rim: "#45d4c0",
    hat: "#a98bff", open_hat: "#a98bff", ride: "#a98bff", shaker: "#a98bff", bass: "#ff7a6b",
  };
  const SCORE_PERCUSSION = "#7fb8ff";
  const SCORE_LEVEL_ALPHA = [0.38, 0.72, 1];

  const $ = (id) => document.getElementById(id);
  const params = new URLSearchParams(location.hash.slice(1));
  const timings = { script_ms: Math.round(performance.now()) };

  // ---- The catalogue -------------------------------------------------------
  const packs = meta.packs.map((pack, index) => ({ ...pack, index, size: 0, shown: 0 }));
  const families = meta.families.map((family, index) => ({
    ...family, index, pack: packs[family.pack], members: [], size: 0, shown: 0,
  }));
  let nextOffset = 0;
  const patterns = meta.patterns.map(([name, description, period, dims, family], index) => {
    const p = { index, name, description, period, dims, family: families[family], offset: nextOffset, drawn: false };
    p.haystack = [name, description, p.family.key, p.family.pack.name].join(" ").toLowerCase();
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

  // ---- Drawing ---------------------------------------------------------------
  function line(ctx, x0, y0, x1, y1) {
    ctx.beginPath();
    ctx.moveTo(x0, y0);
    ctx.lineTo(x1, y1);
    ctx.stroke();
  }

  // Time along the path, from cyan at pip 0 through violet to pink.
  function pathColour(t) {
    return `hsl(${Math.round(188 + 150 * t)}, 88%, 64%)`;
  }

  function pathFrame(p, box) {
    const reach = p.dims === 3 ? 1 + OBLIQUE : 1;
    const scale = (Math.min(box.w, box.h) / 2 / reach) * 0.9;
    const cx = box.x + box.w / 2;
    const cy = box.y + box.h / 2;
    return {
      cx, cy, scale,
      map: (x, y, z) => [cx + scale * (x + OBLIQUE * z), cy - scale * (y + OBLIQUE * z)],
    };
  }

  // The x/y path over one period (z drawn obliquely), the unit square and
  // axes behind it, a white dot at pip 0 and, if given, a marker at `pip`.
  function drawPath(ctx, p, box, { width, bare = false, pip = null }) {
    const f = pathFrame(p, box);
    ctx.save();
    ctx.lineWidth = 1;
    ctx.strokeStyle = GUIDE;
    ctx.strokeRect(f.cx - f.scale, f.cy - f.scale, 2 * f.scale, 2 * f.scale);
    line(ctx, f.cx - f.scale, f.cy, f.cx + f.scale, f.cy);
    line(ctx, f.cx, f.cy - f.scale, f.cx, f.cy + f.scale);
    if (p.dims === 3) {
      ctx.setLineDash([3, 3]);
      const [ax, ay] = f.map(0, 0, -1);
      const [bx, by] = f.map(0, 0, 1);
      line(ctx, ax, ay, bx, by);
      ctx.setLineDash([]);
    }
    if (!bare) {
      const n = p.period;
      const chunks = Math.min(n, 48);
      ctx.lineWidth = width;
      ctx.lineJoin = "round";
      ctx.lineCap = "round";
      for (let c = 0; c < chunks; c++) {
        const from = Math.floor((c * n) / chunks);
        const to = Math.floor(((c + 1) * n) / chunks);
        ctx.strokeStyle = pathColour((c + 0.5) / chunks);
        ctx.beginPath();
        for (let k = from; k <= to; k++) {
          const q = k % n;
          const [X, Y] = f.map(at(p, 0, q), at(p, 1, q), at(p, 2, q));
          if (k === from) ctx.moveTo(X, Y);
          else ctx.lineTo(X, Y);
        }
        ctx.stroke();
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
    ctx.restore();
  }

  // x, y and z over one period, with a line on every beat (stronger on
  // every bar) and the zero line; labels and a playhead in the large view.
  function drawLanes(ctx, p, box, { width, bare = false, pip = null, labels = false }) {
    const n = p.period;
    const half = box.h / 2;
    const xOf = (k) => box.x + (k / n) * box.w;
    const yOf = (v) => box.y + half - v * (half - 2);
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
        ctx.fillStyle = "#8d95a8";
        ctx.fillText(String(b), X + 3, box.y - 6);
      }
    }
    ctx.strokeStyle = "rgba(141, 149, 168, 0.35)";
    line(ctx, box.x, Math.round(yOf(0)) + 0.5, box.x + box.w, Math.round(yOf(0)) + 0.5);
    if (labels) {
      ctx.fillStyle = "#8d95a8";
      ctx.textAlign = "right";
      ctx.fillText("+1", box.x - 6, yOf(1) + 4);
      ctx.fillText("0", box.x - 6, yOf(0) + 4);
      ctx.fillText("\u22121", box.x - 6, yOf(-1) + 4);
      ctx.textAlign = "left";
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
      if (pip !== null) {
        ctx.strokeStyle = "#ffb454";
        ctx.lineWidth = 1.5;
        const X = xOf(pip + 0.5);
        line(ctx, X, box.y, X, box.y + box.h);
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

  function paintCard(ctx, p, w, h, bare) {
    ctx.clearRect(0, 0, w, h);
    const boxes = cardBoxes(w, h);
    drawPath(ctx, p, boxes.path, { width: 1.6, bare });
    drawLanes(ctx, p, boxes.lanes, { width: 1.25, bare });
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

  function drawCard(p) {
    const fitted = fitCanvas(p.canvas);
    if (!fitted) return;
    paintCard(fitted.ctx, p, fitted.w, fitted.h, false);
    p.drawn = true;
  }

  // Cards far from the screen give their pixels back.
  function releaseCard(p) {
    p.canvas.width = 0;
    p.canvas.height = 0;
    p.drawn = false;
  }

  // ---- The page --------------------------------------------------------------
  function scoreHeight(score) {
    return score.lanes.length * SCORE.row + 2 * SCORE.pad;
  }

  // Draws a score: bar, beat and sixteenth lines, each instrument's name,
  // and every hit as a block at its pip (triplets and swung hits fall
  // between the lines), brighter the louder it is played.
  function drawScore(canvas, score) {
    const ratio = window.devicePixelRatio || 1;
    const width = SCORE.maxWidth;
    const height = scoreHeight(score);
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
    const ctx = canvas.getContext("2d");
    ctx.scale(ratio, ratio);
    const left = SCORE.label;
    const span = width - left - 2;
    const sixteenth = PPB / 4;
    const at = (pip) => left + (pip / score.period) * span;
    ctx.fillStyle = "rgba(21, 26, 36, 0.9)";
    ctx.fillRect(left, 0, span, height);
    for (let pip = 0; pip <= score.period; pip += sixteenth) {
      const bar = pip % (PPB * BEATS_PER_BAR) === 0;
      const beat = pip % PPB === 0;
      ctx.fillStyle = bar ? "rgba(231, 234, 242, 0.55)" : beat ? "rgba(141, 149, 168, 0.45)" : "rgba(141, 149, 168, 0.14)";
      ctx.fillRect(Math.round(at(pip)) - (bar ? 1 : 0), 0, bar ? 2 : 1, height);
    }
    ctx.font = `${SCORE.row - 1}px ${getComputedStyle(document.body).getPropertyValue("--mono") || "monospace"}`;
    ctx.textBaseline = "middle";
    score.lanes.forEach(([instrument, flat], row) => {
      const top = SCORE.pad + row * SCORE.row;
      ctx.globalAlpha = 1;
      ctx.fillStyle = "#8d95a8";
      ctx.fillText(instrument.replace("_", " "), 2, top + SCORE.row / 2);
      ctx.fillStyle = SCORE_GROUPS[instrument] || SCORE_PERCUSSION;
      for (let i = 0; i < flat.length; i += 2) {
        const pip = flat[i];
        const next = i + 2 < flat.length ? flat[i + 2] : flat[0] + score.period;
        // A block is a sixteenth wide, narrower where hits come closer.
        const w = Math.max(1.5, ((Math.min(sixteenth, next - pip) / score.period) * span) * 0.8);
        ctx.globalAlpha = SCORE_LEVEL_ALPHA[flat[i + 1]];
        ctx.fillRect(at(pip) + 0.5, top + 1, w, SCORE.row - 2);
      }
    });
    ctx.globalAlpha = 1;
  }

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
    return card;
  }

  const observer = new IntersectionObserver((entries) => {
    for (const entry of entries) {
      const p = patterns[+entry.target.dataset.index];
      if (entry.isIntersecting) {
        if (!p.drawn) drawCard(p);
      } else if (p.drawn) {
        releaseCard(p);
      }
    }
  }, { rootMargin: `${NEAR_SCREEN}px 0px` });

  // The first screenful is drawn at once rather than after the observer's
  // first report, which only comes with a later frame. All positions are
  // read before any drawing, so the layout is computed once.
  function drawOnScreen() {
    const limit = window.innerHeight + NEAR_SCREEN;
    const near = [];
    for (const p of patterns) {
      const top = p.canvas.getBoundingClientRect().top;
      if (top > limit) break;
      if (!p.card.hidden) near.push(p);
    }
    for (const p of near) drawCard(p);
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
        const canvas = el("canvas", "score");
        canvas.title = `Drum score of ${family.key}: one row per instrument, one column per sixteenth; brighter is louder`;
        family.scoreHeight = scoreHeight(family.score);
        canvas.style.height = `${family.scoreHeight}px`;
        drawScore(canvas, family.score);
        family.section.append(canvas);
      }
      family.section.append(family.grid);
      family.pack.section.append(family.section);
    }
    for (const p of patterns) {
      p.card = makeCard(p);
      p.family.grid.append(p.card);
      observer.observe(p.card);
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
    if (!families.length) return;
    if (!sizes.card) measureSizes();
    const style = getComputedStyle($("gallery"));
    const width = $("gallery").clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    const columns = Math.max(1, Math.floor((width + GRID_GAP) / (CARD_MIN_WIDTH + GRID_GAP)));
    for (const family of families) {
      const shown = family.members.filter((p) => !p.card.hidden);
      let height = shown.length ? sizes.heading - GRID_GAP + (family.scoreHeight ? family.scoreHeight + SCORE.gap : 0) : 0;
      for (let row = 0; row < shown.length; row += columns) {
        const lines = Math.max(...shown.slice(row, row + columns).map(nameLines));
        height += GRID_GAP + sizes.card + (lines - 1) * sizes.nameLine;
      }
      family.section.style.containIntrinsicSize = `none ${height.toFixed(1)}px`;
    }
  }

  // ---- Filter ------------------------------------------------------------------
  const filterInput = $("filter");

  // Shows the patterns whose name, description, family or pack contains
  // every word of the text (ignoring case); returns how many.
  function applyFilter(text) {
    const words = text.toLowerCase().split(/\s+/).filter(Boolean);
    for (const group of [...packs, ...families]) group.shown = 0;
    let shown = 0;
    for (const p of patterns) {
      const match = words.every((word) => p.haystack.includes(word));
      p.card.hidden = !match;
      if (match) {
        shown++;
        p.family.shown++;
        p.family.pack.shown++;
      }
    }
    for (const family of families) family.section.hidden = family.shown === 0;
    estimateFamilyHeights();
    for (const pack of packs) {
      pack.section.hidden = pack.shown === 0;
      pack.chipCount.textContent = String(pack.shown);
      pack.chip.classList.toggle("none", pack.shown === 0);
    }
    $("count").textContent = words.length
      ? `${shown} of ${patterns.length} patterns`
      : `${patterns.length} patterns`;
    const empty = $("empty");
    empty.hidden = shown > 0;
    empty.textContent = shown > 0 ? "" : `No pattern matches \u201c${text.trim()}\u201d.`;
    return shown;
  }

  function visiblePatterns() {
    return patterns.filter((p) => !p.card.hidden);
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

  // ---- One pattern, large ----------------------------------------------------------
  const viewer = { p: null, pip: 0, playing: false, startTime: 0, startPip: 0, frame: 0 };

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
      ["pack", p.family.pack.name],
      ["family", p.family.key + (p.family.title ? ` \u2014 ${p.family.title}` : "")],
      ["catalogue", `#${p.index + 1} of ${patterns.length}`],
    ];
    for (const [term, value] of rows) record.append(el("dt", null, term), el("dd", null, value));
    $("viewer").hidden = false;
    drawViewer();
    updateHash();
  }

  function closeViewer() {
    if (!viewer.p) return;
    stopPlaying();
    $("viewer").hidden = true;
    const card = viewer.p.card;
    viewer.p = null;
    updateHash();
    card.focus({ preventScroll: true });
  }

  function stepViewer(direction) {
    const shown = visiblePatterns();
    if (!shown.length) return;
    const here = shown.indexOf(viewer.p);
    openViewer(shown[(here + direction + shown.length) % shown.length]);
  }

  function lanesBox(w, h) {
    return { x: 34, y: 24, w: w - 46, h: h - 36 };
  }

  function drawViewer() {
    const p = viewer.p;
    const path = fitCanvas($("v-path"));
    const lanesCanvas = fitCanvas($("v-lanes"));
    if (path) {
      path.ctx.clearRect(0, 0, path.w, path.h);
      drawPath(path.ctx, p, { x: 12, y: 12, w: path.w - 24, h: path.h - 24 }, { width: 2.4, pip: viewer.pip });
    }
    if (lanesCanvas) {
      lanesCanvas.ctx.clearRect(0, 0, lanesCanvas.w, lanesCanvas.h);
      drawLanes(lanesCanvas.ctx, p, lanesBox(lanesCanvas.w, lanesCanvas.h),
        { width: 1.8, pip: viewer.pip, labels: true });
    }
    const value = (axis) => {
      const v = at(p, axis, viewer.pip);
      return (v < 0 ? "\u2212" : "+") + Math.abs(v).toFixed(3);
    };
    const lines = [`pip ${viewer.pip}   beat ${beatPosition(viewer.pip)}`];
    for (let axis = 0; axis < 3; axis++) lines.push(`${AXES[axis]}  ${value(axis)}`);
    $("v-readout").textContent = lines.join("\n");
  }

  function startPlaying() {
    viewer.playing = true;
    viewer.startTime = performance.now();
    viewer.startPip = viewer.pip;
    $("v-play").textContent = "Pause";
    const tick = (now) => {
      if (!viewer.playing || !viewer.p) return;
      const bpm = Math.min(300, Math.max(20, +$("v-bpm").value || 120));
      const pips = Math.floor(((now - viewer.startTime) / 60000) * bpm * PPB);
      viewer.pip = (viewer.startPip + pips) % viewer.p.period;
      drawViewer();
      viewer.frame = requestAnimationFrame(tick);
    };
    viewer.frame = requestAnimationFrame(tick);
  }

  function stopPlaying() {
    viewer.playing = false;
    cancelAnimationFrame(viewer.frame);
    $("v-play").textContent = "Play";
  }

  $("v-play").addEventListener("click", () => (viewer.playing ? stopPlaying() : startPlaying()));
  $("v-close").addEventListener("click", closeViewer);
  $("v-prev").addEventListener("click", () => stepViewer(-1));
  $("v-next").addEventListener("click", () => stepViewer(1));
  $("viewer").addEventListener("click", (event) => {
    if (event.target === $("viewer")) closeViewer();
  });
  $("v-lanes").addEventListener("mousemove", (event) => {
    if (!viewer.p) return;
    const rect = event.currentTarget.getBoundingClientRect();
    const box = lanesBox(rect.width, rect.height);
    const share = (event.clientX - rect.left - box.x) / box.w;
    stopPlaying();
    viewer.pip = Math.min(viewer.p.period - 1, Math.max(0, Math.floor(share * viewer.p.period)));
    drawViewer();
  });
  window.addEventListener("resize", () => {
    estimateFamilyHeights();
    if (viewer.p) drawViewer();
    for (const p of patterns) if (p.drawn) drawCard(p);
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

  // ---- The address: #q=TEXT filters, #p=NAME opens one pattern -----------------------
  function updateHash() {
    const state = new URLSearchParams();
    if (filterInput.value.trim()) state.set("q", filterInput.value.trim());
    if (viewer.p) state.set("p", viewer.p.name);
    const hash = state.toString();
    history.replaceState(null, "", hash ? `#${hash}` : location.pathname + location.search);
  }

  function applyHash(hashParams) {
    const query = hashParams.get("q") || "";
    filterInput.value = query;
    applyFilter(query);
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
    let count = 0;
    const x0 = Math.max(0, Math.floor(box.x));
    const x1 = Math.min(width, Math.ceil(box.x + box.w));
    const y0 = Math.max(0, Math.floor(box.y));
    const y1 = Math.ceil(box.y + box.h);
    for (let y = y0; y < y1; y++) {
      for (let x = x0; x < x1; x++) {
        const i = (y * width + x) * 4;
        if (bare[i] !== full[i] || bare[i + 1] !== full[i + 1] ||
            bare[i + 2] !== full[i + 2] || bare[i + 3] !== full[i + 3]) count++;
      }
    }
    return count;
  }

  function selfCheck() {
    const { width, height } = CHECK_CARD;
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const ctx = canvas.getContext("2d", { willReadFrequently: true });
    const boxes = cardBoxes(width, height);
    const pathWithoutInk = [];
    const lanesWithoutInk = [];
    const started = performance.now();
    for (const p of patterns) {
      paintCard(ctx, p, width, height, true);
      const bare = ctx.getImageData(0, 0, width, height).data;
      paintCard(ctx, p, width, height, false);
      const full = ctx.getImageData(0, 0, width, height).data;
      if (inkedPixels(bare, full, width, boxes.path) === 0) pathWithoutInk.push(p.name);
      if (inkedPixels(bare, full, width, boxes.lanes) === 0) lanesWithoutInk.push(p.name);
    }
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
      cards_drawn_on_screen: patterns.filter((p) => p.drawn).length,
      score_grids: [...document.querySelectorAll("#gallery .family > canvas.score")]
        .map((canvas) => canvas.closest(".family").querySelector("h3").firstChild.textContent),
      check_ms: Math.round(performance.now() - started),
      probes: [],
    };
    for (const query of params.getAll("probe")) {
      const shown = applyFilter(query);
      result.probes.push({
        query,
        shown,
        visible: visiblePatterns().map((p) => p.name),
        empty_message: $("empty").hidden ? null : $("empty").textContent,
        count_text: $("count").textContent,
      });
    }
    applyFilter("");
    result.visible_after_clear = visiblePatterns().length;
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
    if (params.has("selftest")) {
      drawOnScreen();
      timings.ready_ms = Math.round(performance.now());
      report(selfCheck());
    } else {
      applyHash(params);
      drawOnScreen();
      timings.ready_ms = Math.round(performance.now());
    }
    // How long the page took to become usable, for anyone measuring it.
    document.body.dataset.readyMs = timings.ready_ms;
    document.body.dataset.unpackMs = timings.unpack_ms;
    document.body.dataset.builtMs = timings.built_ms;
    document.body.dataset.scriptMs = timings.script_ms;
  }

  start();
})();
