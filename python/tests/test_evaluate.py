import math
import subprocess
import threading

import numpy as np
import pandas as pd
import pytest

import geofluid
from conftest import WELLS, read_table, varied_wells


def run_cli(cli, *args):
    return subprocess.run([cli, *args], capture_output=True, text=True)


def read_output(path, text_columns):
    """The command line's CSV as numbers (exactly) and texts (empty cells as empty texts)."""
    return pd.read_csv(path, dtype={c: str for c in text_columns}, keep_default_na=False,
                       na_values={c: [""] for c in pd.read_csv(path, nrows=0).columns
                                  if c not in text_columns},
                       float_precision="round_trip")


def assert_same_table(ours, theirs, row_of_line=None):
    assert list(ours.columns) == list(theirs.columns)
    assert len(ours) == len(theirs)
    ours = ours.reset_index(drop=True)
    for name in ours.columns:
        a, b = ours[name], theirs[name]
        if name == "message" and row_of_line is not None:
            b = b.map(row_of_line)
        if a.dtype.kind == "f" or name in ("passes", "trials", "charge"):
            a = a.to_numpy(dtype=np.float64, na_value=np.nan)
            b = b.to_numpy(dtype=np.float64)
            # Bit for bit, NaN where the command line leaves the cell empty.
            assert np.array_equal(a.view(np.int64), b.view(np.int64)) or (
                np.array_equal(a, b, equal_nan=True)
                and np.array_equal(np.isnan(a), np.isnan(b))), name
        elif name == "converged":
            assert [None if pd.isna(v) else bool(v) for v in a] == \
                [None if v == "" or pd.isna(v) else v in (True, "true", "True") for v in b], name
        else:
            assert a.tolist() == b.fillna("").tolist(), name


def line_to_row(message):
    # The command line names a row by its line in the file (the header is line 1); a default
    # index labels it by its position.
    if message.startswith("line "):
        number, rest = message[5:].split(" ", 1)
        return f"row {int(number) - 2} {rest}"
    return message


@pytest.mark.parametrize("options,args", [
    (dict(temperatures=[200, 250]), ["--dataset", "both", "--temperatures", "200,250"]),
    (dict(dataset="supcrt"), ["--dataset", "supcrt"]),
    (dict(temperatures=[290], interpolation="steffen"),
     ["--dataset", "both", "--temperatures", "290", "--interpolation", "steffen"]),
    (dict(temperatures="150:250:50", dataset="solveq", steam_correction=False),
     ["--dataset", "solveq", "--temperatures", "150:250:50", "--no-steam-correction"]),
])
def test_same_table_and_species_as_the_command_line(cli, wells, tmp_path, options, args):
    table, species = tmp_path / "out.csv", tmp_path / "species.csv"
    done = run_cli(cli, "batch", str(WELLS), *args, "--out", str(table), "--species", str(species))
    assert done.returncode == 1, done.stderr  # NA-09 cannot be read
    theirs = read_output(table, ["id", "dataset", "status", "message", "converged"])
    ours = geofluid.evaluate(wells, **options)
    assert_same_table(ours, theirs, line_to_row)
    assert (ours["status"] == "error").sum() == (theirs["status"] == "error").sum() > 0

    ours_species = geofluid.species(wells, **options)
    theirs_species = read_output(species, ["id", "dataset", "species"])
    assert_same_table(ours_species, theirs_species)


def test_fix_column_gives_the_command_lines_fixed_total(cli, wells, tmp_path):
    """A fix_Al column is honoured as batch honours it: the total found, mol/kg, by name."""
    few = wells.iloc[[0, 1]].copy()
    few["fix_Al"] = ["MICROCLINE", "albite_low"]
    path = tmp_path / "fix.csv"
    pd.read_csv(WELLS, dtype={"id": str}).iloc[[0, 1]].assign(
        fix_Al=["MICROCLINE", "albite_low"]).to_csv(path, index=False)
    table = tmp_path / "out.csv"
    done = run_cli(cli, "batch", str(path), "--dataset", "both", "--temperatures", "240",
                   "--out", str(table))
    assert done.returncode == 0, done.stderr
    theirs = pd.read_csv(table)
    ours = geofluid.evaluate(few, dataset="both", temperatures="240")
    assert list(ours["fixed_Al"]) == list(theirs["fixed_Al"])
    assert (ours["fixed_Al"] > 0).all()
    assert ours["SI_MICROCLINE"].iloc[0] == pytest.approx(0.0, abs=1e-3)


def test_constants_as_the_command_line(cli):
    for dataset, t in (("solveq", 25.0), ("supcrt", 237.5)):
        lines = run_cli(cli, "constants", "--dataset", dataset, "--temperature", str(t)).stdout
        rows = [line.split("\t") for line in lines.splitlines()]
        ours = geofluid.constants(dataset, t)
        assert len(ours) == len(rows)
        assert ours["kind"].tolist() == [r[0] for r in rows]
        assert [float(r[3]) for r in rows] == ours["value"].tolist()
        assert ours["index"].iloc[0] == 15 and ours["name"].iloc[-1] == "Bdot"


def test_usage_errors_carry_the_command_line_message(cli, wells, tmp_path):
    bad = tmp_path / "bad.csv"
    wells.rename(columns={"Na": "Sodium"}).to_csv(bad, index=False)
    cases = [
        (dict(df=read_table(bad)), [str(bad)]),
        (dict(df=wells, dataset="all"), [str(WELLS), "--dataset", "all"]),
        (dict(df=wells, units="ppm"), [str(WELLS), "--units", "ppm"]),
        (dict(df=wells, units="mg/l"), [str(WELLS), "--units", "mg/l"]),
        (dict(df=wells, steam_units="mg/L"), [str(WELLS), "--steam-units", "mg/L"]),
        (dict(df=wells, temperatures="100:50:10"), [str(WELLS), "--temperatures", "100:50:10"]),
        (dict(df=wells, temperatures="150,,200"), [str(WELLS), "--temperatures", "150,,200"]),
        (dict(df=wells.drop(columns="separation"), temperatures=[250]), None),
    ]
    for kwargs, args in cases:
        with pytest.raises(ValueError) as raised:
            geofluid.evaluate(**kwargs)
        if args is not None:
            done = run_cli(cli, "batch", *args, "--out", str(tmp_path / "o.csv"))
            assert done.returncode == 2
            said = done.stderr.strip().splitlines()[-1]
            if len(args) == 1:  # a fault of the table: the same words
                assert said == "error: " + str(raised.value)
            else:  # the command line names its option, Python the argument
                option, value = args[1], args[2]
                assert option[2:] in said and value in said, said
                assert str(raised.value).startswith(option[2:].replace("-", "_")), raised.value
                assert value in str(raised.value) and "--" not in str(raised.value)
            assert isinstance(raised.value, geofluid.Error)
    assert "separation" in str(raised.value)
    with pytest.raises(ValueError, match=r"temperatures: \[1, 2\] is not a number"):
        geofluid.evaluate(wells, temperatures=[[1, 2]])
    # A list of numbers is checked as the same text would be.
    with pytest.raises(ValueError, match='"nan" is not a number'):
        geofluid.evaluate(wells, temperatures=[200, math.nan])
    with pytest.raises(ValueError, match="dataset='both' is not one of"):
        geofluid.constants("both", 100)


def test_rows_named_by_index_label_and_faults_kept_per_row():
    df = pd.DataFrame({
        "id": ["good", "no-ph", "text", "neg"],
        "pH": [7.0, None, 6.5, 6.9],
        "ph_temperature": [25, 25, 25, 25],
        "separation": [100.0] * 4,
        "Na": [0.01, 0.01, "0.01x", 0.01],
        "Cl": [0.01, 0.01, 0.01, -0.01],
    }, index=pd.Index(["w1", "w2", "w3", "w4"], name="well"))
    out = geofluid.evaluate(df, temperatures=[150, 200], dataset="solveq")
    # A row that cannot be read gives one row per dataset, without a temperature.
    assert out.index.tolist() == ["w1", "w1", "w2", "w3", "w4"]
    assert out["status"].tolist()[:2] == ["ok", "ok"]
    msg = dict(zip(out["id"], out["message"]))
    assert msg["no-ph"] == "row w2 (id no-ph): column pH: missing; every sample needs its measured pH"
    assert msg["text"] == 'row w3 (id text): column Na: "0.01x" is not a number'
    assert msg["neg"].startswith("row w4 (id neg): column Cl:")
    bad = out[out["status"] == "error"]
    assert bad["pH"].isna().all() and bad["passes"].isna().all() and bad["converged"].isna().all()
    # The good sample is the same whichever neighbours it has.
    alone = geofluid.evaluate(df.iloc[:1], temperatures=[150, 200], dataset="solveq")
    pd.testing.assert_frame_equal(alone, out.iloc[:2])


def test_input_forms_give_the_same_result(wells):
    base = geofluid.evaluate(wells, dataset="solveq")
    # Indexed by id; integers where floats were; per-row temperatures equal to the argument.
    by_id = geofluid.evaluate(wells.set_index("id"), dataset="solveq")
    assert by_id.index.tolist() == by_id["id"].tolist()
    pd.testing.assert_frame_equal(by_id.reset_index(drop=True), base.reset_index(drop=True)
                                  .assign(message=lambda f: f["message"].str.replace(
                                      "row 8 ", "row NA-09 ")))
    ints = wells.copy()
    ints["ph_temperature"] = ints["ph_temperature"].astype("Int64")
    pd.testing.assert_frame_equal(geofluid.evaluate(ints, dataset="solveq"), base)
    per_row = wells.assign(temperatures="200,250")
    pd.testing.assert_frame_equal(
        geofluid.evaluate(per_row, dataset="solveq"),
        geofluid.evaluate(wells, temperatures=[200, 250], dataset="solveq"))
    # A path is read as read_table reads it.
    pd.testing.assert_frame_equal(geofluid.evaluate(WELLS, dataset="solveq"), base)
    # Records, and a text id with a comma, a quote and a line break read back as given.
    odd = wells.iloc[:2].assign(id=['a,"b"\nc', "x"])
    out = geofluid.evaluate(odd.to_dict("records"), dataset="solveq")
    assert out["id"].tolist() == ['a,"b"\nc', "x"]
    np.testing.assert_array_equal(out["pH"].to_numpy(), base["pH"].to_numpy()[:2])
    empty = geofluid.evaluate(wells.iloc[:0], temperatures=250)
    assert list(empty.columns) == geofluid.table_columns("both") and len(empty) == 0
    pd.testing.assert_frame_equal(empty.reset_index(drop=True),
                                  geofluid.empty_table("both"), check_index_type=False)


def test_threads_do_not_change_results_and_calls_run_side_by_side():
    df = varied_wells(300)
    one = geofluid.evaluate(df, temperatures=[250], threads=1)
    results = [None, None]

    def work(k):
        results[k] = geofluid.evaluate(df, temperatures=[250], threads=2)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for r in results:
        pd.testing.assert_frame_equal(r, one)


def test_docstrings_state_columns_and_units():
    for name in geofluid.RESULT_COLUMNS:
        assert name in geofluid.evaluate.__doc__
    for name in geofluid.SPECIES_COLUMNS:
        assert name in geofluid.species.__doc__
    assert "°C" in geofluid.evaluate.__doc__ and "mol/kg" in geofluid.species.__doc__


def test_the_gil_is_released_while_computing():
    # Another Python thread keeps running during a call of a few tenths of a second; with the
    # GIL held it would get no turn until the call returned.
    df = varied_wells(200)
    done = threading.Event()
    turns = 0

    def work():
        geofluid.evaluate(df, temperatures=list(range(100, 301, 10)), threads=1)
        done.set()

    worker = threading.Thread(target=work)
    worker.start()
    while not done.is_set():
        turns += 1
        done.wait(0.002)
    worker.join()
    assert turns >= 20
