"""Long calls on several threads: no deadlock with writers, cancel from another thread, progress."""

from __future__ import annotations

import threading
import time
from pathlib import Path

import pytest

from conftest import run_json

import tessarine
from tessarine import _tessarine_ext as ext

D = "DuplexSteel2205"

STRESS = r"""
import faulthandler, json, os, signal, subprocess, sys, threading, time
import tessarine._tessarine_core as core

faulthandler.dump_traceback_later(50, exit=True)  # a hang shows where it is
signal.signal(signal.SIGINT, signal.default_int_handler)  # even when started with SIGINT ignored
out = sys.argv[1]
D = "DuplexSteel2205"
sheet = json.dumps(core.py_data_sheet(D))
iron = json.dumps(core.py_data_sheet("Fe"))
box = ((0.0, 0.0, 0.0), (0.008, 0.008, 0.008))
stop = threading.Event()
failures = []
counts = {}

def bake():
    return core.py_bake_fourier(D, "Density_kg_m3", box, (6, 6, 6))
def stl(path):
    core.py_export_stl(D, path, box, 0.0002, 0.001)
    return open(path, "rb").read()
def vtk(path):
    core.py_export_vtk_legacy(D, path, box, 0.0004, ["Density_kg_m3"])
    return open(path, "rb").read()

expected = {"bake": bake(), "stl": stl(os.path.join(out, "ref.stl")), "vtk": vtk(os.path.join(out, "ref.vtk"))}

def loop(name, body):
    def run():
        n = 0
        try:
            while not stop.is_set():
                body(n)
                n += 1
        except BaseException as e:
            failures.append(f"{name}: {type(e).__name__}: {e}")
        counts[name] = n
    return threading.Thread(target=run, name=name)

def save(n):
    core.py_save(D, sheet, "alloy")
    core.py_save("Fe", iron, "atom")
    core.py_save(f"Scratch{n % 50}", '{"Density_kg_m3": 1}', "ceramic")
def check(what, got):
    if got != expected[what]:
        raise AssertionError(f"{what} differs")

threads = [
    loop("save1", save), loop("save2", save),
    loop("stl", lambda n: check("stl", stl(os.path.join(out, "t.stl")))),
    loop("vtk", lambda n: check("vtk", vtk(os.path.join(out, "t.vtk")))),
    loop("bake", lambda n: check("bake", bake())),
    loop("sample", lambda n: (core.py_sample(D, "Density_kg_m3", (0.001 * (n % 7), 0, 0), 0.001),
                              core.py_get("{Fe=2, Ni=1}"), core.py_optimize_alloy(
                                  [{"property": "Density_kg_m3", "min_value": 1}], "Fe", None, 3000, 3, n))),
]
handled = [0]
def handler(signum, frame):  # runs at the polls of the main thread's long calls
    core.py_save(D, sheet, "alloy")
    core.py_get("{Fe=1, Cr=1}")
    core.py_sample(D, "Density_kg_m3", None, None)
    handled[0] += 1
signal.signal(signal.SIGALRM, handler)
signal.setitimer(signal.ITIMER_REAL, 0.003, 0.003)
for t in threads:
    t.start()
end = time.monotonic() + float(sys.argv[2])
n = 0
try:
    while time.monotonic() < end:
        check("stl", stl(os.path.join(out, "main.stl")))
        check("bake", bake())
        n += 1
except BaseException as e:
    failures.append(f"main: {type(e).__name__}: {e}")
signal.setitimer(signal.ITIMER_REAL, 0, 0)
stop.set()
for t in threads:
    t.join()
counts["main"] = n

# Ctrl-C reaches the main thread at once while another thread searches.
cancel = threading.Event()
worker = threading.Thread(target=lambda: run_search(cancel))
def run_search(event):
    import tessarine
    try:
        tessarine.optimize_alloy([{"property": "Density_kg_m3", "min_value": 1e300}], "Fe",
                                 n_candidates=10**12, cancel=event)
    except tessarine.Cancelled:
        pass
worker.start()
time.sleep(0.2)
try:
    killer = subprocess.Popen(["/bin/sh", "-c", f"sleep 0.1; kill -INT {os.getpid()}"])
    start = time.perf_counter()
    try:
        while True:
            time.sleep(0.001)
    except KeyboardInterrupt:
        interrupt = time.perf_counter() - start  # 0.1 s and the time the signal took
    killer.wait()
finally:
    cancel.set()
    worker.join()
print(json.dumps({"failures": failures, "counts": counts, "handled": handled[0], "interrupt": interrupt}))
"""


def test_writers_readers_and_signal_handlers_never_deadlock(tmp_path: Path):
    """Saving entries while other threads export, sample and bake them, and a signal handler saves and looks up
    at the polls of the main thread's own long calls: every call finishes with the same result."""
    report = run_json(STRESS, str(tmp_path), "3", timeout=90)  # a hang ends in a traceback after 50 s
    assert report["failures"] == []
    assert all(n > 0 for n in report["counts"].values()), report["counts"]
    assert report["handled"] > 0
    assert report["interrupt"] < 1.0, report  # the search runs for hours


BOX = ((0.0, 0.0, 0.0), (0.08, 0.08, 0.08))
LONG = {
    "export_vtk": lambda out, **kw: tessarine.export_vtk(D, out, BOX, 0.0005, ["Density_kg_m3"], **kw),
    "bake": lambda out, **kw: tessarine.bake(D, "Density_kg_m3", BOX, (40, 40, 40), **kw),
    "optimize_alloy": lambda out, **kw: tessarine.optimize_alloy(
        [{"property": "Density_kg_m3", "min_value": 1e300}], "Fe", n_candidates=10**12, **kw
    ),
}


@pytest.mark.parametrize("call", sorted(LONG))
def test_cancel_from_another_thread(call: str, tmp_path: Path):
    out = tmp_path / "out.vtk"
    event = threading.Event()
    started = threading.Event()
    outcome: list[object] = []

    def progress(done: int, total: int) -> None:
        started.set()

    def run() -> None:
        try:
            LONG[call](out, cancel=event, progress=progress)
            outcome.append("finished")
        except BaseException as e:  # noqa: BLE001 - reported below
            outcome.append(e)
        outcome.append(time.perf_counter())

    worker = threading.Thread(target=run)
    worker.start()
    assert started.wait(30)
    time.sleep(0.05)
    event.set()
    set_at = time.perf_counter()
    worker.join(10)
    assert not worker.is_alive()
    assert isinstance(outcome[0], tessarine.Cancelled), outcome
    assert outcome[1] - set_at < 0.5  # ~10 ms between asks, plus the wait for the interpreter lock
    assert list(tmp_path.iterdir()) == []
    assert ext.set_poll_hook(None) is False  # the hook went with the call


def _grid_box(n: int) -> tuple[tuple[float, float, float], tuple[float, float, float]]:
    return ((0.0, 0.0, 0.0), (n * 0.0005, n * 0.0005, n * 0.0005))


PROGRESS = {
    "optimize_alloy": lambda out, p: tessarine.optimize_alloy(
        [{"property": "Density_kg_m3", "min_value": 1}], "Fe", n_candidates=100_000, seed=1, progress=p
    ),
    "bake": lambda out, p: tessarine.bake(D, "Density_kg_m3", _grid_box(12), (12, 12, 12), progress=p),
    "voxel_grid": lambda out, p: tessarine.voxel_grid(D, _grid_box(128), 0.0005, progress=p),
    "export_obj": lambda out, p: tessarine.export_obj(D, out / "a.obj", _grid_box(64), 0.0005, progress=p),
    "export_stl": lambda out, p: tessarine.export_stl(D, out / "a.stl", _grid_box(64), 0.0005, progress=p),
    "export_vtk": lambda out, p: tessarine.export_vtk(D, out / "a.vtk", _grid_box(64), 0.0005, progress=p),
    "export_raw": lambda out, p: tessarine.export_raw(D, out / "a.raw", _grid_box(128), 0.0005, progress=p),
    "single phase": lambda out, p: tessarine.export_raw("Cu", out / "b.raw", _grid_box(8), 0.0005, progress=p),
}


@pytest.mark.parametrize("call", sorted(PROGRESS))
def test_progress_counts_up_to_the_total(call: str, tmp_path: Path):
    reports: list[tuple[int, int]] = []
    PROGRESS[call](tmp_path, lambda done, total: reports.append((done, total)))
    assert reports, "no progress reported"
    assert len({total for _, total in reports}) == 1
    assert all(a[0] <= b[0] for a, b in zip(reports, reports[1:]))
    assert reports[-1][0] == reports[-1][1] > 0
    if call == "single phase":
        try:
            import tqdm  # noqa: F401
        except ImportError:
            with pytest.raises(ImportError, match=r"tessarine\[progress\]"):
                PROGRESS[call](tmp_path, True)
        else:
            PROGRESS[call](tmp_path, True)
