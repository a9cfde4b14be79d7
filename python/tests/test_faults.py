"""Faults a careless caller meets: Ctrl-C in a long call, ids that are not plain text, errors
that name the Python argument."""
import os
import signal
import subprocess
import sys
import time

import pandas as pd
import pytest

import geofluid
from conftest import SOURCE, varied_wells

# Each call runs for minutes when left alone (the interpreter prints READY just before it).
LONG_CALLS = {
    "sweep": "geofluid.sweep(df, temperatures='100:300:0.5')",
    "geothermometry": "geofluid.geothermometry(df, temperatures='100:300:1', "
                      "optimize=['steam_loss', 'dilution'])",
    "uncertainty": "geofluid.uncertainty(df.iloc[:2], draws=3000, threads=1)",
    "scaling": "geofluid.scaling(df, 250, separation=[180, 150, 120], cooling=[80], degassing='open')",
}


@pytest.mark.parametrize("name", sorted(LONG_CALLS))
def test_ctrl_c_stops_a_long_call_at_once(name):
    script = (
        "import sys; sys.path.insert(0, sys.argv[1])\n"
        "from conftest import varied_wells\n"
        "import geofluid\n"
        "df = varied_wells(400)\n"
        "print('READY', flush=True)\n"
        "try:\n"
        f"    {LONG_CALLS[name]}\n"
        "except KeyboardInterrupt:\n"
        "    print('KeyboardInterrupt', flush=True)\n"
        "    sys.exit(3)\n"
        "print('finished', flush=True)\n")
    child = subprocess.Popen([sys.executable, "-c", script, os.path.dirname(__file__)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline().strip() == "READY"
        time.sleep(2.0)  # well inside the call
        assert child.poll() is None, child.stderr.read()
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        said = child.stdout.readline().strip()  # the interpreter's exit is not timed
        took = time.monotonic() - sent
        out, err = child.communicate(timeout=30)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert (child.returncode, said) == (3, "KeyboardInterrupt"), err
    assert took < 1.5, f"{name} took {took:.1f} s to stop"


# A line break, a NUL, a C1 control, CSV's own quote and separator.
ODD_IDS = ["W1\nsecond line", "W2\x00after NUL", "W3\x85C1", 'W4 "quoted", comma']


def test_odd_ids_keep_their_labels(wells):
    df = wells[wells["id"] != "NA-09"].iloc[:4].copy()
    df["id"] = ODD_IDS
    df.index = ["r0", "r1", "r2", "r3"]
    grid = "150:250:50"
    calls = {
        "evaluate": lambda: geofluid.evaluate(df, temperatures=[200]),
        "species": lambda: geofluid.species(df, temperatures=[200]),
        "sweep": lambda: geofluid.sweep(df, temperatures=grid),
        "geothermometry": lambda: geofluid.geothermometry(df, temperatures=grid),
        "uncertainty": lambda: geofluid.uncertainty(df, temperatures=grid, draws=4),
        "scaling": lambda: geofluid.scaling(df, 250, separation=[150], cooling=[80]),
    }
    for name, call in calls.items():
        out = call()
        assert set(out.index) == set(df.index), name
        for label, ids in out.groupby(level=0)["id"]:
            assert set(ids) == {df.loc[label, "id"]}, (name, label, set(ids))


def test_errors_name_the_python_argument(wells):
    assert issubclass(geofluid.Error, ValueError) and issubclass(geofluid.Error, RuntimeError)
    df = wells.iloc[:2]
    cases = [
        (lambda: geofluid.evaluate(df, dataset="foo"), "dataset='foo' is not one of"),
        (lambda: geofluid.evaluate(df, units="ppm"), "units='ppm' is not one of"),
        (lambda: geofluid.evaluate(df, steam_units="ppm"), "steam_units='ppm' is not one of"),
        (lambda: geofluid.evaluate(df, threads=-1), "threads=-1 is not a number of threads"),
        (lambda: geofluid.sweep(df, interpolation="akima"), "interpolation='akima' is not one of"),
        (lambda: geofluid.scaling(df, 250, separation=[150], cooling=[80], degassing="half"),
         "degassing='half' is not one of"),
        (lambda: geofluid.uncertainty(df, draws=0), "draws=0 is not in the range"),
        (lambda: geofluid.constants("both", 100), "dataset='both' is not one of"),
        (lambda: geofluid.constants("solveq", "hot"), "temperature='hot' is not a number"),
        # The library's own words for an argument it refuses.
        (lambda: geofluid.geothermometry(df, fix={"Al": "NOT-A-MINERAL"}), "fix"),
        (lambda: geofluid.scaling(df, "no-such-geothermometer", separation=[150], cooling=[80]),
         "reservoir"),
        # A failure of the library itself.
        (lambda: geofluid.evaluate(df.rename(columns={"Na": "Sodium"})), "unknown column"),
    ]
    for call, words in cases:
        with pytest.raises(geofluid.Error) as raised:
            call()
        text = str(raised.value)
        assert words in text and "--" not in text, text
