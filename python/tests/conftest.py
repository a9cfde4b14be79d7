import os
import pathlib
import random

import pandas as pd
import pytest

SOURCE = pathlib.Path(os.environ.get("GEOFLUID_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
WELLS = SOURCE / "examples" / "wells.csv"


def pytest_configure(config):
    config.addinivalue_line("markers", "dask: starts a Dask cluster of worker processes")


def read_table(path):
    """A batch table as a user should read it: ids as text, numbers exactly."""
    return pd.read_csv(path, dtype={"id": str}, float_precision="round_trip")


@pytest.fixture(scope="session")
def cli():
    path = os.environ.get("GEOFLUID_CLI", str(SOURCE / "build" / "app" / "cli" / "geofluid-cli"))
    if not os.access(path, os.X_OK):
        pytest.skip(f"no geofluid-cli at {path}")
    return path


@pytest.fixture(scope="session")
def wells():
    return read_table(WELLS)


def varied_wells(n, seed=1):
    """n samples: the readable wells repeated, each analysis varied by up to ±10 %."""
    rows = read_table(WELLS)
    rows = rows[rows["id"] != "NA-09"].reset_index(drop=True)
    measured = [c for c in rows.columns if c not in ("id", "units", "steam_units", "pH",
                                                     "ph_temperature", "separation")]
    rng = random.Random(seed)
    out = rows.iloc[[i % len(rows) for i in range(n)]].reset_index(drop=True)
    out["id"] = [f"{out['id'][i]}-{i}" for i in range(n)]
    for c in measured:
        out[c] = [v * rng.uniform(0.9, 1.1) for v in out[c]]
    return out
