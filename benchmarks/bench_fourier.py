"""Fourier bake of a 16 x 16 x 16 grid against a numpy-vectorised direct DFT.

Run:  python benchmarks/bench_fourier.py

The peer transforms the very samples the bake takes (fetched with py_sample,
outside the timing) by the same direct sum: the same phase expression, numpy's
cos and sin, and a left-to-right running sum (np.cumsum) per coefficient. The
bake's time includes sampling and building the Python result.

numpy's sin and cos may differ from the C library's in the last bit, and by
CPU (its vector kernels), so the two agree within TOLERANCE rather than bit
for bit: the coefficients are compared as complex numbers (the phase of a
near-zero term means little), relative to the largest amplitude. The script
reports the largest differences and how many coefficients are bit-identical.
The bake's own bit-exactness is tested against a plain C++ sum.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

import tessarine._tessarine_core as core

sys.path.insert(0, str(Path(__file__).resolve().parent))
from _catalogue import Row, best_of, format_table, note  # noqa: E402

NAME, PROPERTY = "DuplexSteel2205", "Density_kg_m3"
GRID = (16, 16, 16)
TOLERANCE = 1e-9  # largest coefficient difference, relative to the largest amplitude
BOUNDS = ((0.0, 0.0, 0.0), (0.0016, 0.0016, 0.0016))  # cells of 0.1 mm: below the model's averaging scale


def samples() -> np.ndarray:
    ext = [max(hi - lo, 2.0**-52) for lo, hi in zip(*BOUNDS)]
    cell = [e / n for e, n in zip(ext, GRID)]
    scale = min(cell)
    f = np.empty(GRID)
    for i in range(GRID[0]):
        for j in range(GRID[1]):
            for k in range(GRID[2]):
                at = tuple(BOUNDS[0][a] + cell[a] * ((i, j, k)[a] + 0.5) for a in range(3))
                f[i, j, k] = core.py_sample(NAME, PROPERTY, at, scale)
    return f


def walk() -> np.ndarray:
    mx, my, mz = (n // 2 for n in GRID)
    out = []
    for n in range(mx + 1):
        for m in range(0 if n == 0 else -my, my + 1):
            for l in range(1 if n == 0 and m == 0 else -mz, mz + 1):
                out.append((n, m, l))
    return np.array(out, dtype=np.float64)


def numpy_direct_dft(f: np.ndarray, terms: np.ndarray, batch: int = 128):
    nx, ny, nz = (float(n) for n in GRID)
    count = f.size
    total = np.cumsum(f.ravel())[-1]  # left to right
    base = total / float(count)
    g = (f - base).ravel()
    i, j, k = (a.ravel().astype(np.float64) for a in np.indices(GRID))
    re = np.empty(len(terms))
    im = np.empty(len(terms))
    for s in range(0, len(terms), batch):
        t = terms[s : s + batch]
        theta = ((t[:, :1] * i) / nx + (t[:, 1:2] * j) / ny + (t[:, 2:3] * k) / nz) * -6.283185307179586
        re[s : s + batch] = np.cumsum(g * np.cos(theta), axis=1)[:, -1]
        im[s : s + batch] = np.cumsum(g * np.sin(theta), axis=1)[:, -1]
    magnitude = np.sqrt(re * re + im * im)
    return base, (magnitude + magnitude) / float(count), np.arctan2(im, re)


def measure() -> list[Row]:
    f = samples()
    terms = walk()
    if np.all(f == f.flat[0]):
        note(f"note: {NAME}.{PROPERTY} samples as a constant field here; the bake skips zero samples,")
        note("      so this figure does not measure the transform.")
    baked = core.py_bake_fourier(NAME, PROPERTY, BOUNDS, GRID, 0.0)
    base, amplitude, phase = numpy_direct_dft(f, terms)
    coefficients = baked["coefficients"]
    assert [(c["n"], c["m"], c["l"]) for c in coefficients] == [tuple(int(x) for x in t) for t in terms]
    got_amplitude = np.array([c["amplitude"] for c in coefficients])
    got_phase = np.array([c["phase"] for c in coefficients])
    largest = max(float(amplitude.max()), np.finfo(float).tiny)
    apart = np.abs(got_amplitude * np.exp(1j * got_phase) - amplitude * np.exp(1j * phase))
    max_abs, max_rel = float(apart.max()), float(apart.max()) / largest
    max_amplitude = float(np.abs(got_amplitude - amplitude).max())
    identical = int(np.sum((got_amplitude == amplitude) & (got_phase == phase)))
    base_rel = abs(baked["base_value"] - base) / max(abs(base), np.finfo(float).tiny)
    note(f"Fourier bake, grid {GRID}: {len(terms)} coefficients x {f.size} samples against numpy: "
         f"{identical} bit-identical; largest difference {max_abs:.3g} ({max_rel:.3g} of the largest amplitude "
         f"{largest:.6g}), in amplitude {max_amplitude:.3g}; base value {base_rel:.3g} apart (relative)")
    assert max_rel <= TOLERANCE and base_rel <= TOLERANCE, (
        f"coefficients differ from the direct DFT by {max_rel:.3g} of the largest amplitude (tolerance {TOLERANCE})")
    t_bake = best_of(lambda: core.py_bake_fourier(NAME, PROPERTY, BOUNDS, GRID, 0.0), 5)
    t_peer = best_of(lambda: numpy_direct_dft(f, terms), 3)
    size = "x".join(str(n) for n in GRID) + f" grid, {len(terms)} terms"
    return [Row("py_bake_fourier", size, t_bake, "numpy direct DFT", t_peer)]


def main() -> None:
    print(format_table(measure()))


if __name__ == "__main__":
    main()
