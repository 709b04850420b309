// The shared inspection's viewer: reads the glTF binary embedded in the page, draws it with
// WebGL in its deviation colours and shows the legend, callouts and a hover readout. No
// network, no libraries: the page must open from a file anywhere.
(function () {
  'use strict';

  function decodeBase64(text) {
    // The browser's own decoder where there is one: faster, and no cleaned copy of the text.
    if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
    var map = new Uint8Array(128);
    var digits = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
    for (var i = 0; i < 64; i++) map[digits.charCodeAt(i)] = i;
    text = text.replace(/[^A-Za-z0-9+/=]/g, '');
    var pad = text.endsWith('==') ? 2 : text.endsWith('=') ? 1 : 0;
    var out = new Uint8Array(text.length / 4 * 3 - pad);
    var o = 0;
    for (var k = 0; k < text.length; k += 4) {
      var v = (map[text.charCodeAt(k)] << 18) | (map[text.charCodeAt(k + 1)] << 12) |
        (map[text.charCodeAt(k + 2)] << 6) | map[text.charCodeAt(k + 3)];
      out[o++] = v >> 16;
      if (o < out.length) out[o++] = (v >> 8) & 255;
      if (o < out.length) out[o++] = v & 255;
    }
    return out;
  }

  function parseGlb(bytes) {
    var view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (view.getUint32(0, true) !== 0x46546c67) throw new Error('the embedded model is not glTF');
    var jsonLength = view.getUint32(12, true);
    var json = JSON.parse(new TextDecoder().decode(bytes.subarray(20, 20 + jsonLength)));
    var binStart = bytes.byteOffset + 20 + jsonLength + 8;
    function accessor(index) {
      var a = json.accessors[index], bv = json.bufferViews[a.bufferView];
      var size = a.type === 'VEC3' ? 3 : 1;
      var Type = a.componentType === 5125 ? Uint32Array : Float32Array;
      return new Type(bytes.buffer, binStart + (bv.byteOffset || 0), a.count * size);
    }
    var prim = json.meshes[0].primitives[0];
    return {
      json: json, extras: json.extras || {}, mode: prim.mode,
      positions: accessor(prim.attributes.POSITION),
      colours: accessor(prim.attributes.COLOR_0),
      deviations: accessor(prim.attributes._DEVIATION),
      indices: prim.indices !== undefined ? accessor(prim.indices) : null,
      min: json.accessors[prim.attributes.POSITION].min,
      max: json.accessors[prim.attributes.POSITION].max
    };
  }

  // Small column-major 4x4 matrix helpers.
  function multiply(a, b) {
    var r = new Float64Array(16);
    for (var c = 0; c < 4; c++)
      for (var row = 0; row < 4; row++) {
        var s = 0;
        for (var k = 0; k < 4; k++) s += a[k * 4 + row] * b[c * 4 + k];
        r[c * 4 + row] = s;
      }
    return r;
  }
  function invert(m) {
    var inv = new Float64Array(16), a = m;
    inv[0] = a[5]*a[10]*a[15]-a[5]*a[11]*a[14]-a[9]*a[6]*a[15]+a[9]*a[7]*a[14]+a[13]*a[6]*a[11]-a[13]*a[7]*a[10];
    inv[4] = -a[4]*a[10]*a[15]+a[4]*a[11]*a[14]+a[8]*a[6]*a[15]-a[8]*a[7]*a[14]-a[12]*a[6]*a[11]+a[12]*a[7]*a[10];
    inv[8] = a[4]*a[9]*a[15]-a[4]*a[11]*a[13]-a[8]*a[5]*a[15]+a[8]*a[7]*a[13]+a[12]*a[5]*a[11]-a[12]*a[7]*a[9];
    inv[12] = -a[4]*a[9]*a[14]+a[4]*a[10]*a[13]+a[8]*a[5]*a[14]-a[8]*a[6]*a[13]-a[12]*a[5]*a[10]+a[12]*a[6]*a[9];
    inv[1] = -a[1]*a[10]*a[15]+a[1]*a[11]*a[14]+a[9]*a[2]*a[15]-a[9]*a[3]*a[14]-a[13]*a[2]*a[11]+a[13]*a[3]*a[10];
    inv[5] = a[0]*a[10]*a[15]-a[0]*a[11]*a[14]-a[8]*a[2]*a[15]+a[8]*a[3]*a[14]+a[12]*a[2]*a[11]-a[12]*a[3]*a[10];
    inv[9] = -a[0]*a[9]*a[15]+a[0]*a[11]*a[13]+a[8]*a[1]*a[15]-a[8]*a[3]*a[13]-a[12]*a[1]*a[11]+a[12]*a[3]*a[9];
    inv[13] = a[0]*a[9]*a[14]-a[0]*a[10]*a[13]-a[8]*a[1]*a[14]+a[8]*a[2]*a[13]+a[12]*a[1]*a[10]-a[12]*a[2]*a[9];
    inv[2] = a[1]*a[6]*a[15]-a[1]*a[7]*a[14]-a[5]*a[2]*a[15]+a[5]*a[3]*a[14]+a[13]*a[2]*a[7]-a[13]*a[3]*a[6];
    inv[6] = -a[0]*a[6]*a[15]+a[0]*a[7]*a[14]+a[4]*a[2]*a[15]-a[4]*a[3]*a[14]-a[12]*a[2]*a[7]+a[12]*a[3]*a[6];
    inv[10] = a[0]*a[5]*a[15]-a[0]*a[7]*a[13]-a[4]*a[1]*a[15]+a[4]*a[3]*a[13]+a[12]*a[1]*a[7]-a[12]*a[3]*a[5];
    inv[14] = -a[0]*a[5]*a[14]+a[0]*a[6]*a[13]+a[4]*a[1]*a[14]-a[4]*a[2]*a[13]-a[12]*a[1]*a[6]+a[12]*a[2]*a[5];
    inv[3] = -a[1]*a[6]*a[11]+a[1]*a[7]*a[10]+a[5]*a[2]*a[11]-a[5]*a[3]*a[10]-a[9]*a[2]*a[7]+a[9]*a[3]*a[6];
    inv[7] = a[0]*a[6]*a[11]-a[0]*a[7]*a[10]-a[4]*a[2]*a[11]+a[4]*a[3]*a[10]+a[8]*a[2]*a[7]-a[8]*a[3]*a[6];
    inv[11] = -a[0]*a[5]*a[11]+a[0]*a[7]*a[9]+a[4]*a[1]*a[11]-a[4]*a[3]*a[9]-a[8]*a[1]*a[7]+a[8]*a[3]*a[5];
    inv[15] = a[0]*a[5]*a[10]-a[0]*a[6]*a[9]-a[4]*a[1]*a[10]+a[4]*a[2]*a[9]+a[8]*a[1]*a[6]-a[8]*a[2]*a[5];
    var det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    for (var i = 0; i < 16; i++) inv[i] /= det;
    return inv;
  }
  function transform(m, x, y, z) {
    var w = m[3] * x + m[7] * y + m[11] * z + m[15];
    return [(m[0] * x + m[4] * y + m[8] * z + m[12]) / w, (m[1] * x + m[5] * y + m[9] * z + m[13]) / w,
      (m[2] * x + m[6] * y + m[10] * z + m[14]) / w];
  }
  // Row-major 3x3 rotations (eye = R * world) for the standard views.
  function rotation(axis, angle) {
    var c = Math.cos(angle), s = Math.sin(angle);
    if (axis === 0) return [1, 0, 0, 0, c, -s, 0, s, c];
    return [c, 0, s, 0, 1, 0, -s, 0, c];
  }
  function mul3(a, b) {
    var r = [];
    for (var i = 0; i < 3; i++)
      for (var j = 0; j < 3; j++) r.push(a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j]);
    return r;
  }
  var FRONT = [1, 0, 0, 0, 0, 1, 0, -1, 0];
  var VIEWS = {
    Top: [1, 0, 0, 0, 1, 0, 0, 0, 1], Bottom: [1, 0, 0, 0, -1, 0, 0, 0, -1], Front: FRONT,
    Back: [-1, 0, 0, 0, 0, 1, 0, 1, 0], Left: [0, -1, 0, 0, 0, 1, -1, 0, 0],
    Right: [0, 1, 0, 0, 0, 1, 1, 0, 0],
    Iso: mul3(rotation(0, 0.6155), mul3(rotation(1, -Math.PI / 4), FRONT))
  };

  function element(tag, attrs, parent, text) {
    var e = document.createElement(tag);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    if (text !== undefined) e.textContent = text;
    if (parent) parent.appendChild(e);
    return e;
  }
  var noDeviation = null;
  function fixed(v, places) {
    return v === null || v === undefined || v === noDeviation ? '-' : Number(v).toFixed(places);
  }
  function cssColour(c) {
    return 'rgb(' + c.map(function (v) { return Math.round(v * 255); }).join(',') + ')';
  }

  // Milestones of the opening in ms since navigation start, kept on the body for benchmarks.
  function mark(name) { document.body.setAttribute('data-' + name, performance.now().toFixed(1)); }
  // The page's text has arrived and been parsed when this script runs; the origin relates the
  // marks to a clock outside the browser.
  document.body.setAttribute('data-origin', performance.timeOrigin.toFixed(1));
  mark('parsed');

  var model;
  try {
    model = parseGlb(decodeBase64(document.getElementById('model-glb').textContent));
    mark('decoded');
  } catch (e) {
    element('div', { id: 'message' }, document.body, 'The model cannot be shown: ' + e.message)
      .style.display = 'block';
    return;
  }
  var ex = model.extras, tol = ex.tolerance || { upper: 0, lower: 0 };
  // The marked value arrives as a double; the attribute holds it as a float.
  if (ex.noDeviation !== undefined) noDeviation = Math.fround(ex.noDeviation);
  var vertexCount = model.positions.length / 3;

  // Title line: file, tolerances, and whether the mesh was reduced.
  var title = (ex.title || 'model') + '  |  tolerance +' + fixed(tol.upper, 3) + ' / ' +
    fixed(tol.lower, 3) + ' ' + (ex.units || 'mm') + '  |  ' +
    (ex.triangles ? ex.triangles + ' triangles' : vertexCount + ' points');
  if (ex.reducedFrom) title += ' (reduced from ' + ex.reducedFrom + ' triangles)';
  element('div', { id: 'title' }, document.body, title);
  document.title = ex.title || document.title;
  var canvas = element('canvas', { id: 'view' }, document.body);
  var labels = element('div', { id: 'labels' }, document.body);
  var svg = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
  labels.appendChild(svg);
  var views = element('div', { id: 'views' }, document.body);
  var legend = element('div', { id: 'legend' }, document.body);
  var readout = element('div', { id: 'readout' }, document.body, 'X -  Y -  Z -  Dev -');

  // The legend, highest band on top as the window draws it.
  element('div', { class: 'head' }, legend, 'Deviation (' + (ex.units || 'mm') + ')');
  var bands = (ex.legend || []).slice().reverse();
  bands.forEach(function (b) {
    var row = element('div', { class: 'entry' }, legend);
    element('span', { class: 'swatch' }, row).style.background = cssColour(b.colour);
    // The outer entries reach the scale's ends (+-9999): label them by their inner limit.
    element('span', {}, row, b.upper >= 9999 ? '> ' + fixed(b.lower, 3)
      : b.lower <= -9999 ? '< ' + fixed(b.upper, 3) : fixed(b.lower, 3) + ' .. ' + fixed(b.upper, 3));
  });

  // Callouts: a list, and labels that follow the model on screen.
  var callouts = ex.callouts || [];
  var banners = [], distances = [];
  if (callouts.length) {
    var box = element('div', { id: 'callouts' }, document.body);
    var table = element('table', {}, box);
    var head = element('tr', {}, table);
    ['id', 'X', 'Y', 'Z', 'Dev', 'comment'].forEach(function (h, i) {
      element('th', i === 0 || i === 5 ? { class: 'text' } : {}, head, h);
    });
    var ends = {};
    callouts.forEach(function (c) {
      var row = element('tr', {}, table);
      element('td', { class: 'text' }, row, c.id);
      c.position.forEach(function (v) { element('td', {}, row, fixed(v, 3)); });
      element('td', {}, row, fixed(c.deviation, 3));
      element('td', { class: 'text' }, row, c.comment || '');
      if (c.kind === 'banner') {
        var dot = document.createElementNS('http://www.w3.org/2000/svg', 'circle');
        dot.setAttribute('r', '3.5');
        svg.appendChild(dot);
        banners.push({ c: c, dot: dot, el: element('div', { class: 'banner' }, labels,
          c.id + '  ' + fixed(c.deviation, 3) + (c.comment ? '  ' + c.comment : '')) });
      } else if (c.kind === 'distance-end') {
        ends[c.id] = c;
      } else {
        var a = ends[c.id + 'a'], b = ends[c.id + 'b'];
        if (a && b) {
          var line = document.createElementNS('http://www.w3.org/2000/svg', 'line');
          line.setAttribute('stroke', '#000');
          line.setAttribute('stroke-width', '1.5');
          svg.appendChild(line);
          distances.push({ a: a, b: b, line: line, el: element('div', { class: 'banner distance' }, labels,
            c.id + '  ' + fixed(c.deviation, 3) + ' mm' + (c.comment ? '  ' + c.comment : '')) });
        }
      }
    });
  }

  // GL set-up.
  var gl = canvas.getContext('webgl2', { antialias: true, preserveDrawingBuffer: true });
  var webgl2 = !!gl;
  if (!gl) {
    gl = canvas.getContext('webgl', { antialias: true, preserveDrawingBuffer: true });
    if (gl && model.indices && !gl.getExtension('OES_element_index_uint')) gl = null;
  }
  if (!gl) {
    var m = element('div', { id: 'message' }, document.body, 'This browser cannot draw WebGL.');
    m.style.display = 'block';
    return;
  }
  var points = model.mode === 0;
  var vs = 'attribute vec3 position; attribute vec3 colour; uniform mat4 matrix; varying vec3 vColour;' +
    'void main() { gl_Position = matrix * vec4(position, 1.0); gl_PointSize = 3.0; vColour = colour; }';
  // The glTF colours are linear; the screen shows their sRGB encoding, the legend's colours.
  var fs = 'precision highp float; varying vec3 vColour; uniform float pick;' +
    'vec3 encode(vec3 c) { return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, c)); }' +
    'void main() { if (pick > 0.5) { float d = gl_FragCoord.z * 16777215.0;' +
    '  gl_FragColor = vec4(floor(d / 65536.0), mod(floor(d / 256.0), 256.0), mod(d, 256.0), 255.0) / 255.0; }' +
    '  else gl_FragColor = vec4(encode(clamp(vColour, 0.0, 1.0)), 1.0); }';
  function shader(type, text) {
    var s = gl.createShader(type);
    gl.shaderSource(s, text);
    gl.compileShader(s);
    return s;
  }
  var program = gl.createProgram();
  gl.attachShader(program, shader(gl.VERTEX_SHADER, vs));
  gl.attachShader(program, shader(gl.FRAGMENT_SHADER, fs));
  gl.linkProgram(program);
  gl.useProgram(program);
  function buffer(target, data) {
    var b = gl.createBuffer();
    gl.bindBuffer(target, b);
    gl.bufferData(target, data, gl.STATIC_DRAW);
    return b;
  }
  [['position', model.positions], ['colour', model.colours]].forEach(function (p) {
    var loc = gl.getAttribLocation(program, p[0]);
    buffer(gl.ARRAY_BUFFER, p[1]);
    gl.enableVertexAttribArray(loc);
    gl.vertexAttribPointer(loc, 3, gl.FLOAT, false, 0, 0);
  });
  if (model.indices) buffer(gl.ELEMENT_ARRAY_BUFFER, model.indices);
  var uMatrix = gl.getUniformLocation(program, 'matrix');
  var uPick = gl.getUniformLocation(program, 'pick');
  gl.enable(gl.DEPTH_TEST);

  // Camera: rotation about the model's centre, pan in the view plane, distance for zoom.
  var centre = [0, 1, 2].map(function (k) { return (model.min[k] + model.max[k]) / 2; });
  var radius = Math.max(1e-6, 0.5 * Math.hypot(model.max[0] - model.min[0],
    model.max[1] - model.min[1], model.max[2] - model.min[2]));
  var fov = 30 * Math.PI / 180;
  var cam = { r: VIEWS.Iso.slice(), pan: [0, 0], distance: 1 };
  function fit() { cam.pan = [0, 0]; cam.distance = radius / Math.sin(fov / 2) * 1.05; }
  fit();
  function matrices() {
    var w = canvas.width, h = canvas.height, aspect = w / Math.max(h, 1);
    var near = Math.max(cam.distance - radius * 1.5, cam.distance * 0.01), far = cam.distance + radius * 1.5;
    var f = 1 / Math.tan(fov / 2);
    if (aspect < 1) f *= aspect; // keep the fitted sphere inside a tall view too
    var proj = new Float64Array([f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
      0, 0, 2 * far * near / (near - far), 0]);
    var r = cam.r, c = centre;
    var view = new Float64Array([r[0], r[3], r[6], 0, r[1], r[4], r[7], 0, r[2], r[5], r[8], 0, 0, 0, 0, 1]);
    var t = [-(r[0] * c[0] + r[1] * c[1] + r[2] * c[2]) + cam.pan[0],
      -(r[3] * c[0] + r[4] * c[1] + r[5] * c[2]) + cam.pan[1],
      -(r[6] * c[0] + r[7] * c[1] + r[8] * c[2]) - cam.distance];
    view[12] = t[0]; view[13] = t[1]; view[14] = t[2];
    return { proj: proj, view: view, both: multiply(proj, view) };
  }
  function draw(pick) {
    var m = matrices();
    gl.viewport(0, 0, canvas.width, canvas.height);
    if (pick) gl.clearColor(1, 1, 1, 1); else gl.clearColor(0.784, 0.824, 0.902, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.uniformMatrix4fv(uMatrix, false, new Float32Array(m.both));
    gl.uniform1f(uPick, pick ? 1 : 0);
    if (model.indices) gl.drawElements(gl.TRIANGLES, model.indices.length, gl.UNSIGNED_INT, 0);
    else gl.drawArrays(gl.POINTS, 0, vertexCount);
    return m;
  }
  function toScreen(m, p) {
    var q = transform(m.both, p[0], p[1], p[2]);
    var ratio = canvas.width / canvas.clientWidth;
    return [(q[0] + 1) / 2 * canvas.width / ratio, (1 - q[1]) / 2 * canvas.height / ratio, q[2]];
  }
  function render() {
    var m = draw(false);
    banners.forEach(function (b) {
      var s = toScreen(m, b.c.position);
      b.el.style.left = s[0] + 'px';
      b.el.style.top = s[1] + 'px';
      b.el.style.display = s[2] > 1 || s[2] < -1 ? 'none' : '';
      b.dot.setAttribute('cx', s[0]);
      b.dot.setAttribute('cy', s[1]);
    });
    distances.forEach(function (d) {
      var a = toScreen(m, d.a.position), b = toScreen(m, d.b.position);
      d.line.setAttribute('x1', a[0]); d.line.setAttribute('y1', a[1]);
      d.line.setAttribute('x2', b[0]); d.line.setAttribute('y2', b[1]);
      d.el.style.left = (a[0] + b[0]) / 2 + 'px';
      d.el.style.top = (a[1] + b[1]) / 2 + 'px';
    });
    // Labels of nearby points would cover each other: move a label up past those placed.
    var placed = [];
    banners.forEach(function (b) {
      if (b.el.style.display === 'none') return;
      for (var tries = 0; tries < 20; tries++) {
        var r = b.el.getBoundingClientRect(), hit = placed.find(function (q) {
          return r.left < q.right && q.left < r.right && r.top < q.bottom && q.top < r.bottom;
        });
        if (!hit) break;
        b.el.style.top = parseFloat(b.el.style.top) - (r.bottom - hit.top) - 2 + 'px';
      }
      placed.push(b.el.getBoundingClientRect());
    });
  }
  var pending = false;
  function redraw() {
    if (pending) return;
    pending = true;
    requestAnimationFrame(function () { pending = false; render(); });
  }
  function resize() {
    var ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    canvas.height = Math.max(1, Math.round(canvas.clientHeight * ratio));
    render();
  }

  // Picking: the depth under the pointer (drawn into an offscreen target) gives the model point
  // there; the readout shows the vertex nearest to it.
  var pickTarget = null;
  function pickFramebuffer() {
    if (pickTarget && pickTarget.w === canvas.width && pickTarget.h === canvas.height) return pickTarget;
    var fb = gl.createFramebuffer(), tex = gl.createTexture(), depth = gl.createRenderbuffer();
    gl.bindTexture(gl.TEXTURE_2D, tex);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, canvas.width, canvas.height, 0, gl.RGBA, gl.UNSIGNED_BYTE, null);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
    gl.bindRenderbuffer(gl.RENDERBUFFER, depth);
    gl.renderbufferStorage(gl.RENDERBUFFER, webgl2 ? gl.DEPTH_COMPONENT24 : gl.DEPTH_COMPONENT16,
      canvas.width, canvas.height);
    gl.bindFramebuffer(gl.FRAMEBUFFER, fb);
    gl.framebufferTexture2D(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.TEXTURE_2D, tex, 0);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.DEPTH_ATTACHMENT, gl.RENDERBUFFER, depth);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    pickTarget = { fb: fb, w: canvas.width, h: canvas.height };
    return pickTarget;
  }
  function nearestVertex(p) {
    var best = -1, bestD = Infinity, pos = model.positions;
    for (var i = 0, j = 0; i < vertexCount; i++, j += 3) {
      var dx = pos[j] - p[0], dy = pos[j + 1] - p[1], dz = pos[j + 2] - p[2];
      var d = dx * dx + dy * dy + dz * dz;
      if (d < bestD) { bestD = d; best = i; }
    }
    return best;
  }
  // The vertex under pixel (x, y) of the canvas (device pixels, top-left origin), or -1.
  function pickAt(x, y) {
    var target = pickFramebuffer();
    gl.bindFramebuffer(gl.FRAMEBUFFER, target.fb);
    var m = draw(true);
    var px = new Uint8Array(4);
    gl.readPixels(Math.floor(x), canvas.height - 1 - Math.floor(y), 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, px);
    gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    if (px[0] === 255 && px[1] === 255 && px[2] === 255) return -1;
    var depth = (px[0] * 65536 + px[1] * 256 + px[2]) / 16777215;
    var ndc = [(Math.floor(x) + 0.5) / canvas.width * 2 - 1, 1 - (Math.floor(y) + 0.5) / canvas.height * 2,
      depth * 2 - 1];
    return nearestVertex(transform(invert(m.both), ndc[0], ndc[1], ndc[2]));
  }
  function showReadout(index) {
    if (index < 0) { readout.textContent = 'X -  Y -  Z -  Dev -'; return; }
    var p = model.positions;
    readout.textContent = 'X ' + fixed(p[3 * index], 3) + '  Y ' + fixed(p[3 * index + 1], 3) + '  Z ' +
      fixed(p[3 * index + 2], 3) + '  Dev ' + fixed(model.deviations[index], 3);
    readout.dataset.index = index;
  }

  // Mouse and touch: left drag turns, right or shift drag pans, the wheel and a pinch zoom.
  function turn(dx, dy) {
    cam.r = mul3(rotation(0, dy * 0.01), mul3(rotation(1, dx * 0.01), cam.r));
    redraw();
  }
  function pan(dx, dy) {
    var scale = 2 * cam.distance * Math.tan(fov / 2) / canvas.clientHeight;
    cam.pan[0] += dx * scale;
    cam.pan[1] -= dy * scale;
    redraw();
  }
  function zoom(factor) { cam.distance *= factor; redraw(); }
  var drag = null, touches = {};
  canvas.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  canvas.addEventListener('pointerdown', function (e) {
    canvas.setPointerCapture(e.pointerId);
    if (e.pointerType === 'touch') { touches[e.pointerId] = [e.clientX, e.clientY]; return; }
    drag = { x: e.clientX, y: e.clientY, pan: e.button !== 0 || e.shiftKey };
  });
  canvas.addEventListener('pointermove', function (e) {
    if (e.pointerType === 'touch' && touches[e.pointerId]) {
      var ids = Object.keys(touches);
      var old = touches[e.pointerId];
      if (ids.length === 1) {
        turn(e.clientX - old[0], e.clientY - old[1]);
      } else if (ids.length === 2) {
        var other = touches[ids[0] == e.pointerId ? ids[1] : ids[0]];
        var before = Math.hypot(old[0] - other[0], old[1] - other[1]);
        var after = Math.hypot(e.clientX - other[0], e.clientY - other[1]);
        if (after > 0) zoom(before / after);
        pan((e.clientX - old[0]) / 2, (e.clientY - old[1]) / 2);
      }
      touches[e.pointerId] = [e.clientX, e.clientY];
      return;
    }
    if (drag) {
      if (drag.pan) pan(e.clientX - drag.x, e.clientY - drag.y);
      else turn(e.clientX - drag.x, e.clientY - drag.y);
      drag.x = e.clientX; drag.y = e.clientY;
      return;
    }
    var rect = canvas.getBoundingClientRect(), ratio = canvas.width / canvas.clientWidth;
    showReadout(pickAt((e.clientX - rect.left) * ratio, (e.clientY - rect.top) * ratio));
  });
  function release(e) { delete touches[e.pointerId]; drag = null; }
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('wheel', function (e) {
    e.preventDefault();
    zoom(Math.exp(e.deltaY * 0.001));
  }, { passive: false });
  Object.keys(VIEWS).forEach(function (name) {
    element('button', { type: 'button' }, views, name).addEventListener('click', function () {
      cam.r = VIEWS[name].slice();
      fit();
      redraw();
    });
  });
  element('button', { type: 'button' }, views, 'Fit').addEventListener('click', function () { fit(); redraw(); });
  window.addEventListener('resize', resize);
  resize();
  // Drawn once the GL commands have run; on screen with the next frame.
  gl.finish();
  mark('drawn');
  requestAnimationFrame(function () { mark('first-frame'); });

  // With #selftest the page checks itself and writes the result into the document for tests:
  // a hover at a vertex's pixel must read the deviation of the vertex nearest to where a ray
  // through that pixel meets the model (found here without the GPU).
  function rayHit(m, x, y) {
    var inv = invert(m.both);
    var ndc = [(Math.floor(x) + 0.5) / canvas.width * 2 - 1, 1 - (Math.floor(y) + 0.5) / canvas.height * 2];
    var o = transform(inv, ndc[0], ndc[1], -1), e = transform(inv, ndc[0], ndc[1], 1);
    var d = [e[0] - o[0], e[1] - o[1], e[2] - o[2]], p = model.positions, best = Infinity;
    function sub(i, j) { return [p[3 * i] - p[3 * j], p[3 * i + 1] - p[3 * j + 1], p[3 * i + 2] - p[3 * j + 2]]; }
    function cross(a, b) { return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]; }
    function dot(a, b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
    var idx = model.indices;
    for (var t = 0; t < idx.length; t += 3) {
      var a = idx[t], e1 = sub(idx[t + 1], a), e2 = sub(idx[t + 2], a);
      var h = cross(d, e2), det = dot(e1, h);
      if (Math.abs(det) < 1e-30) continue;
      var s = [o[0] - p[3 * a], o[1] - p[3 * a + 1], o[2] - p[3 * a + 2]];
      var u = dot(s, h) / det;
      if (u < 0 || u > 1) continue;
      var q = cross(s, e1), v = dot(d, q) / det;
      if (v < 0 || u + v > 1) continue;
      var k = dot(e2, q) / det;
      if (k >= 0 && k < best) best = k;
    }
    return best === Infinity ? null : [o[0] + best * d[0], o[1] + best * d[1], o[2] + best * d[2]];
  }
  function selfTest() {
    var result = { vertices: vertexCount, triangles: model.indices ? model.indices.length / 3 : 0,
      legendEntries: legend.querySelectorAll('.entry').length, callouts: callouts.length,
      title: document.getElementById('title').textContent };
    var m = matrices(), step = Math.max(1, Math.floor(vertexCount / 97));
    for (var i = Math.floor(step / 2); i < vertexCount; i += step) {
      var s = transform(m.both, model.positions[3 * i], model.positions[3 * i + 1], model.positions[3 * i + 2]);
      var x = (s[0] + 1) / 2 * canvas.width, y = (1 - s[1]) / 2 * canvas.height;
      if (x < 1 || y < 1 || x > canvas.width - 2 || y > canvas.height - 2) continue;
      var picked = pickAt(x, y);
      if (picked < 0) continue;
      var expected = i;
      if (model.indices) {
        var hit = rayHit(m, x, y);
        if (!hit) continue;
        expected = nearestVertex(hit);
      } else if (picked !== i) {
        // Points: the pick must be the front point drawn at that pixel.
        var sp = transform(m.both, model.positions[3 * picked], model.positions[3 * picked + 1],
          model.positions[3 * picked + 2]);
        if (sp[2] <= s[2]) expected = picked;
      }
      showReadout(picked);
      result.hover = { pixel: [Math.floor(x), Math.floor(y)], readout: readout.textContent,
        readoutDeviation: Number(readout.textContent.split('Dev ')[1]),
        expectedDeviation: Number(fixed(model.deviations[expected], 3)), picked: picked, expected: expected };
      break;
    }
    result.ok = !!result.hover && result.hover.readoutDeviation === result.hover.expectedDeviation;
    element('pre', { id: 'selftest', hidden: '' }, document.body, JSON.stringify(result));
  }
  if (location.hash === '#selftest') selfTest();
})();
