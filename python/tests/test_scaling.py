import subprocess

import numpy as np
import pandas as pd
import pytest

import geofluid
from conftest import WELLS
from test_evaluate import read_output


def test_scaling_as_the_command_line(cli, wells, tmp_path):
    out = tmp_path / "scaling.csv"
    with open(out, "w") as f:
        done = subprocess.run([cli, "scaling", str(WELLS), "--format", "csv", "--reservoir",
                               "quartz_fournier1977", "--separation", "180,120", "--cooling",
                               "90,60"], stdout=f, stderr=subprocess.PIPE, text=True)
    assert done.returncode == 1, done.stderr  # NA-09 cannot be read
    theirs = read_output(out, ["id", "dataset", "step", "error"])
    theirs = theirs[theirs["error"].fillna("") == ""]
    ours = geofluid.scaling(wells, "quartz_fournier1977", [180, 120], [90, 60])
    ours = ours[ours["status"] != "error"]
    assert len(ours) == len(theirs) == 19 * 2 * (1 + 2 * 3)
    for name in ["temperature", "pH", "liquid_CO2", "ssi_amorphous_silica", "SI_CALCITE",
                 "SI_AMORPHOUS_SILICA"]:
        assert np.array_equal(ours[name].to_numpy(), theirs[name].to_numpy(dtype=float),
                              equal_nan=True), name


def test_a_bad_row_is_kept_with_its_error(wells):
    out = geofluid.scaling(wells, 240, separation=[150], cooling=[80], dataset="solveq")
    bad = out[out["status"] == "error"]
    assert len(bad) == 1 and bad["message"].iloc[0].startswith("row 8 (id NA-09)")
    assert bad.index[0] == 8
    good = out[out["status"] != "error"]
    # Reservoir, separation and cooling of each readable well.
    assert good.groupby("id").size().eq(3).all()
    sep = good[good["step"] == "separation"]
    assert (sep["steam_fraction"] > 0.1).all() and (sep["temperature"] == 150).all()


def test_arguments_are_checked():
    df = geofluid.read_table(WELLS).iloc[:2]
    with pytest.raises(ValueError, match="quartz_fournier1977"):
        geofluid.scaling(df, "quartz", [150], [80])
    with pytest.raises(ValueError, match="either"):
        geofluid.scaling(df, 240, [150], [80], stages=[180, 120])
    with pytest.raises(ValueError, match="cooler"):
        geofluid.scaling(df, 240, stages=[120, 180], cooling=[80])
    with pytest.raises(ValueError, match="gypsum"):
        geofluid.scaling(df, 240, [150], [80], minerals=["gypsum"])
    with pytest.raises(ValueError, match="degassing"):
        geofluid.scaling(df, 240, [150], [80], degassing="half")


@pytest.mark.dask
def test_scaling_through_dask(wells):
    dd = pytest.importorskip("dask.dataframe")
    import geofluid.dask
    ddf = dd.from_pandas(wells, npartitions=3)
    lazy = geofluid.dask.scaling(ddf, 240, [180, 120], [60], dataset="supcrt", threads=1)
    whole = geofluid.scaling(wells, 240, [180, 120], [60], dataset="supcrt", threads=1)
    got = lazy.compute(scheduler="synchronous")
    assert list(got.columns) == list(whole.columns)
    assert np.array_equal(got["pH"].to_numpy(), whole["pH"].to_numpy(), equal_nan=True)
    with pytest.raises(ValueError):
        geofluid.dask.scaling(ddf, "nowhere", [150], [60])
