"""Independent Python renderings of the procedural formulas, used as the
expected values in the tests. Every fused multiply-add is computed exactly
with fractions and rounded once, as the hardware instruction does."""

import math
import struct
from fractions import Fraction

TWO_PI = 6.283185307179586
HALF_PI = 1.5707963267948966
FOUR_PI = 12.566370614359172
PI = 3.141592653589793


def fma(a: float, b: float, c: float) -> float:
    """a * b + c with a single rounding."""
    return float(Fraction(a) * Fraction(b) + Fraction(c))


def bits(v: float) -> bytes:
    return struct.pack("<d", v)


def same_bits(a, b) -> bool:
    return all(bits(p) == bits(q) for p, q in zip(a, b, strict=True))


def smoothstep(u: float) -> float:
    return (u * u) * fma(u, -2.0, 3.0)


def bounce(p):
    phi = (p & 63) / 64
    return (fma(abs(phi - 0.5), -4.0, 1.0), 0.0, 0.0)


def sway(p):
    return (math.sin(((p & 127) / 128) * TWO_PI), 0.0, 0.0)


def circle(p):
    a = fma((p & 63) / 64, TWO_PI, -HALF_PI)
    return (math.cos(a), math.sin(a), 0.0)


def figure_eight(p):
    theta = ((p & 127) / 128) * TWO_PI
    return (math.sin(theta), math.sin(theta + theta), 0.0)


def step_touch(p):
    q, u = (p >> 5) & 3, (p & 31) / 32
    start, end = [(-1.0, 0.0), (0.0, 1.0), (1.0, 0.0), (0.0, -1.0)][q]
    return (fma(end - start, smoothstep(u), start), math.sin(u * PI) * -0.35, 0.0)


BOX = [(-1.0, -1.0), (1.0, -1.0), (1.0, 1.0), (-1.0, 1.0)]


def box_step(p):
    q, u = (p >> 6) & 3, (p & 63) / 64
    (x0, y0), (x1, y1) = BOX[q], BOX[(q + 1) % 4]
    s = smoothstep(u)
    return (fma(x1 - x0, s, x0), fma(y1 - y0, s, y0), 0.0)


def helix(p):
    phi = (p & 255) / 256
    a = phi * FOUR_PI
    return (math.cos(a), math.sin(a), math.sin(phi * TWO_PI))


KEYS = [(0, 0, 0.0), (23, 2 / 14, -0.1), (33, 13 / 14, -0.8), (49, 5 / 14, -0.4), (87, -3 / 14, 0.2),
        (100, -1.0, 0.9), (118, -5 / 14, 0.5), (154, 1 / 14, 0.0), (169, 12 / 14, 1.0), (187, 4 / 14, 0.5),
        (215, -2 / 14, -0.2), (228, -10 / 14, -0.9), (243, -3 / 14, -0.3), (256, 0.0, 0.0)]


def morvel_background(p):
    i = p & 255
    k = max(j for j in range(13) if KEYS[j][0] < i or j == 0)
    (p0, x0, y0), (p1, x1, y1) = KEYS[k], KEYS[k + 1]
    s = smoothstep((i - p0) / (p1 - p0))
    return (fma(x1 - x0, s, x0), fma(y1 - y0, s, y0), 0.0)


R, L = 1, -1


def _rudiment(period, strokes):
    """strokes: (onset, hand, amplitude, length) in summation order."""
    def evaluate(p):
        x = y = 0.0
        for onset, hand, amplitude, length in strokes:
            k = (p - onset) & (period - 1)
            e = 0.0
            if k < length:
                s = math.sin((k / length) * PI)
                e = s * (s * amplitude)
            x = x + hand * e
            y = fma(e, -0.72, y)
        return (min(max(x, -1.0), 1.0), min(max(y, -1.0), 1.0), 0.0)
    return evaluate


single_stroke_roll = _rudiment(64, [(8 * i, R if i % 2 == 0 else L, 0.92, 8) for i in range(8)])
double_stroke_roll = _rudiment(64, [(8 * i, [R, R, L, L][i % 4], [0.88, 0.72][i % 2], 8) for i in range(8)])
multiple_bounce_roll = _rudiment(64, [(base + 6 * j, hand, a, 6)
                                      for base, hand in ((0, R), (32, L))
                                      for j, a in enumerate((0.92, 0.68, 0.48, 0.32))])
single_paradiddle = _rudiment(128, [(8 * i, "RLRRLRLL"[i % 8] == "R" and R or L, 1.0 if i % 4 == 0 else 0.72, 8)
                                    for i in range(16)])
flam = _rudiment(64, [(0, L, 0.34, 10), (5, R, 0.9, 14), (32, R, 0.34, 10), (37, L, 0.9, 14)])
drag = _rudiment(64, [(0, L, 0.28, 8), (5, L, 0.32, 8), (10, R, 0.88, 14),
                      (32, R, 0.28, 8), (37, R, 0.32, 8), (42, L, 0.88, 14)])
five_stroke_roll = _rudiment(128, [(0, R, 0.72, 9), (8, R, 0.62, 9), (16, L, 0.72, 9), (24, L, 0.62, 9),
                                   (36, R, 1.0, 14), (64, L, 0.72, 9), (72, L, 0.62, 9), (80, R, 0.72, 9),
                                   (88, R, 0.62, 9), (100, L, 1.0, 14)])

# name, period, dimensions, description, reference function: the procedural
# records in catalogue order.
PROCEDURAL = [
    ("bounce", 64, 1, "One-beat vertical bounce", bounce),
    ("sway", 128, 1, "Two-beat side-to-side sway", sway),
    ("circle", 64, 2, "One-beat circular orbit", circle),
    ("figure_eight", 128, 2, "Two-beat figure eight", figure_eight),
    ("step_touch", 128, 2, "Two-beat side step with a small lift", step_touch),
    ("box_step", 256, 2, "Four-beat softened square path", box_step),
    ("helix", 256, 3, "Four-beat double-turn helix", helix),
    ("morvel_background", 256, 2, "Morvel/Zendra four-beat accented background drift", morvel_background),
    ("single_stroke_roll", 64, 2, "Alternating R/L strokes with smooth attack and decay", single_stroke_roll),
    ("double_stroke_roll", 64, 2, "RRLL strokes with a softer second motion", double_stroke_roll),
    ("multiple_bounce_roll", 64, 2, "Decaying same-hand bounce clusters", multiple_bounce_roll),
    ("single_paradiddle", 128, 2, "RLRR LRLL with accented lead strokes", single_paradiddle),
    ("flam", 64, 2, "Grace motion flowing into an opposite-hand primary motion", flam),
    ("drag", 64, 2, "Two grace motions flowing into an opposite-hand primary motion", drag),
    ("five_stroke_roll", 128, 2, "Two diddles resolving to an accented fifth motion", five_stroke_roll),
]
