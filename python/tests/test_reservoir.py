import numpy as np
import pandas as pd
import pytest

import geofluid
from conftest import WELLS
from test_evaluate import line_to_row, read_output, run_cli


def test_geothermometry_as_the_command_line(cli, wells, tmp_path):
    out = tmp_path / "reservoir.csv"
    with open(out, "w") as f:
        import subprocess
        done = subprocess.run([cli, "geothermometry", str(WELLS), "--format", "csv",
                               "--from", "150", "--to", "300", "--step", "10"],
                              stdout=f, stderr=subprocess.PIPE, text=True)
    assert done.returncode == 1, done.stderr  # NA-09 cannot be read
    text = ["id", "interpolation", "error", "solveq_crossings", "solveq_warnings",
            "supcrt_crossings", "supcrt_warnings", "giggenbach_class", "below_detection",
            "notes"]
    text += [c for c in pd.read_csv(out, nrows=0).columns if "flags_" in c]
    theirs = read_output(out, text).drop(columns="line")
    ours = geofluid.geothermometry(wells, temperatures="150:300:10").reset_index(drop=True)
    assert list(ours.columns) == list(theirs.columns)
    for name in ours.columns:
        if ours[name].dtype.kind == "f":
            assert np.array_equal(ours[name].to_numpy(), theirs[name].to_numpy(dtype=float),
                                  equal_nan=True), name
        elif name == "error":
            assert ours[name].tolist() == theirs[name].map(line_to_row).tolist()
        else:
            assert ours[name].tolist() == theirs[name].tolist(), name
    assert ours["error"].str.startswith("row 8 (id NA-09)").sum() == 1
    # The reservoir liquid beside the water as sampled: NA-01, separated at 140 °C.
    assert ours.loc[0, "reservoir_quartz_fournier1977"] < ours.loc[0, "quartz_fournier1977"] - 15
    assert "immature" in ours.loc[ours["id"] == "BC-02", "flags_na_k_fournier1979"].iloc[0]


def test_sweep_equals_the_evaluation_at_each_temperature(wells):
    few = wells.iloc[[0, 8, 10, 15]]
    sweep = geofluid.sweep(few, temperatures="200:260:30")
    carried = geofluid.evaluate(few, temperatures=[200, 230, 260])
    good = sweep[sweep["status"] != "error"]
    assert len(good) == 3 * 2 * 3
    same = carried[carried["status"] != "error"]
    for name in ["id", "dataset", "temperature", "pH", "toth", "steam_fraction"] + \
            [c for c in sweep.columns if c.startswith("SI_")]:
        np.testing.assert_array_equal(good[name].to_numpy(), same[name].to_numpy(), err_msg=name)
    bad = sweep[sweep["status"] == "error"]
    assert bad.index.tolist() == [8, 8] and bad["temperature"].isna().all()
    steffen = geofluid.sweep(few.iloc[:1], temperatures=[250], interpolation="steffen")
    assert (steffen["interpolation"] == "steffen").all()


def test_reservoir_arguments_are_checked():
    df = pd.read_csv(WELLS, dtype={"id": str}).iloc[:2]
    with pytest.raises(ValueError, match="NOT-A-MINERAL"):
        geofluid.geothermometry(df, minerals=["QUARTZ", "NOT-A-MINERAL"])
    with pytest.raises(ValueError, match="interpolation='akima' is not one of"):
        geofluid.sweep(df, interpolation="akima")
    with pytest.raises(ValueError, match="start <= stop"):
        geofluid.sweep(df, temperatures="300:100:5")
    only = geofluid.geothermometry(df, dataset="supcrt", minerals="QUARTZ, CALCITE",
                                   temperatures="150:250:10")
    assert "solveq_rms" not in only.columns and only["supcrt_rms"].between(150, 250).all()
    assert only.loc[1, "supcrt_crossings"] == "CALCITE 193.7"


def test_uncertainty_as_the_command_line(cli, wells, tmp_path):
    import subprocess
    out = tmp_path / "uncertainty.csv"
    few = wells.iloc[6:10]  # NA-09 among them
    table = tmp_path / "few.csv"
    few.to_csv(table, index=False)
    with open(out, "w") as f:
        done = subprocess.run([cli, "uncertainty", str(table), "--format", "csv", "--draws", "40",
                               "--seed", "7", "--temperatures", "200,250", "--dataset", "both",
                               "--error", "Na=3%", "--error", "pH=0.05"],
                              stdout=f, stderr=subprocess.PIPE, text=True)
    assert done.returncode == 1 and "NA-09" in done.stderr
    theirs = read_output(out, ["id", "dataset", "quantity"])
    ours = geofluid.uncertainty(few, temperatures=[200, 250], dataset="both", draws=40, seed=7,
                                errors={"Na": "3%", "pH": 0.05}, threads=2)
    notes = ours["quantity"].isin(["error", "warning"])
    numbers = ours[~notes].drop(columns="message").reset_index(drop=True)
    assert list(numbers.columns) == list(theirs.columns)
    for name in numbers.columns:
        if name in ("id", "dataset", "quantity"):
            assert numbers[name].tolist() == theirs[name].fillna("").tolist(), name
        else:
            np.testing.assert_array_equal(numbers[name].to_numpy(dtype=float),
                                          theirs[name].to_numpy(dtype=float), err_msg=name)
    errors = ours[ours["quantity"] == "error"]
    assert errors.index.tolist() == [8]
    assert errors["message"].iloc[0] == 'row 8 (id NA-09): column pH: "8,7" is not a number'
    # Per-row errors and the threads: the same seed gives the same numbers.
    one = geofluid.uncertainty(wells.iloc[:1].assign(err_K="10%"), temperatures=[250],
                               dataset="solveq", draws=20, threads=1)
    two = geofluid.uncertainty(wells.iloc[:1], temperatures=[250], dataset="solveq", draws=20,
                               errors=["K=10%"], threads=2)
    pd.testing.assert_frame_equal(one, two)
    with pytest.raises(ValueError, match="err_Sodium"):
        geofluid.uncertainty(wells.iloc[:1].assign(err_Sodium="3%"), draws=5)


def test_fixed_al_and_normalised_as_the_command_line(cli, wells, tmp_path):
    few = wells.iloc[[0, 1]]
    path = tmp_path / "two.csv"
    pd.read_csv(WELLS, dtype={"id": str}).iloc[[0, 1]].drop(columns="Al").to_csv(path, index=False)
    out = tmp_path / "fixed.csv"
    with open(out, "w") as f:
        import subprocess
        done = subprocess.run([cli, "geothermometry", str(path), "--format", "csv", "--from",
                               "180", "--to", "280", "--step", "20", "--fix", "Al=microcline",
                               "--normalize"], stdout=f, stderr=subprocess.PIPE, text=True)
    assert done.returncode == 0, done.stderr
    theirs = pd.read_csv(out)
    ours = geofluid.geothermometry(few.drop(columns="Al"), temperatures="180:280:20",
                                   fix={"Al": "microcline"}, normalize=True)
    for name in ["solveq_rms", "supcrt_rms", "solveq_median"]:
        np.testing.assert_array_equal(ours[name].to_numpy(), theirs[name].to_numpy(), name)
    # Microcline fixes Al, so it leaves the statistics and says so.
    assert ours["supcrt_warnings"].str.contains("MICROCLINE left out").all()
    with pytest.raises(ValueError, match="QUARTZ holds no Al"):
        geofluid.geothermometry(few, fix={"Al": "QUARTZ"})
    with pytest.raises(ValueError, match="not steam_loss or dilution"):
        geofluid.geothermometry(few, optimize="steam")


def test_uncertainty_takes_the_fixed_al(wells):
    one = wells.iloc[[0]].drop(columns="Al")
    out = geofluid.uncertainty(one, temperatures="240:300:20", dataset="supcrt", draws=8,
                               fix={"Al": "MICROCLINE"}, normalize=True)
    rms = out[out["quantity"] == "estimate_rms"]
    assert len(rms) == 1 and rms["nominal"].between(240, 300).all()
    assert out["message"].str.contains("MICROCLINE left out").any()
    with pytest.raises(ValueError, match="not steam_loss or dilution"):
        geofluid.uncertainty(one, draws=2, optimize="steam")


def test_optimised_steam_loss_is_in_the_frames(cli, wells, tmp_path):
    """The steam loss found with the temperature, as the command line's JSON gives it, and its
    distribution over the draws."""
    path = tmp_path / "one.csv"
    pd.read_csv(WELLS, dtype={"id": str}).iloc[[1]].to_csv(path, index=False)
    import json
    import subprocess
    done = subprocess.run([cli, "geothermometry", str(path), "--format", "json", "--dataset",
                           "supcrt", "--from", "200", "--to", "300", "--step", "20",
                           "--optimize", "steam_loss"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    theirs = json.loads(done.stdout)
    theirs = (theirs["samples"][0] if "samples" in theirs else theirs)["datasets"]["supcrt"]
    ours = geofluid.geothermometry(wells.iloc[[1]], dataset="supcrt", temperatures="200:300:20",
                                   optimize="steam_loss")
    assert ours["supcrt_steam_loss"].iloc[0] == theirs["optimized"]["steam_loss"]["value"]
    sd = theirs["optimized"]["steam_loss"]["sd"]
    assert (np.isnan(ours["supcrt_steam_loss_sd"].iloc[0]) if sd is None
            else ours["supcrt_steam_loss_sd"].iloc[0] == sd)
    assert "supcrt_dilution" not in ours.columns

    out = geofluid.uncertainty(wells.iloc[[1]], temperatures="200:300:20", dataset="supcrt",
                               draws=6, optimize="steam_loss")
    loss = out[out["quantity"] == "optimized_steam_loss"]
    assert len(loss) == 1
    assert loss["nominal"].iloc[0] == ours["supcrt_steam_loss"].iloc[0]
    assert loss["n"].iloc[0] > 0
    assert -0.2 <= loss["q05"].iloc[0] <= loss["q95"].iloc[0] <= 0.5


def test_temperatures_in_any_order_give_the_sorted_lists_estimate(wells):
    few = wells.iloc[[0, 1]]
    sorted_list = geofluid.geothermometry(few, temperatures=[100, 150, 200, 250, 300])
    for given in ([150, 250, 200, 100, 300], [300, 250, 200, 150, 100],
                  [100, 150, 150, 200, 250, 300]):
        with pytest.warns(UserWarning, match="not given in ascending order"):
            ours = geofluid.geothermometry(few, temperatures=given)
        pd.testing.assert_frame_equal(ours, sorted_list)
