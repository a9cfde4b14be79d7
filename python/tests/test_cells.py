"""A DataFrame's cells reach the batch reader as they are: float64 numbers exactly, objects as
their text, each column read as `geofluid-cli batch` reads the same table from a file."""
import numpy as np
import pandas as pd
import pytest

import geofluid
from conftest import WELLS
from test_evaluate import assert_same_table, read_output, run_cli

TEXT_COLUMNS = ["id", "dataset", "status", "message", "converged"]


def readable_wells():
    wells = geofluid.read_table(WELLS)
    return wells[wells["id"] != "NA-09"].iloc[:5].reset_index(drop=True)


def cli_table(cli, tmp_path, df, *args):
    """The command line's result for the table `df` writes (floats as their shortest text)."""
    path, out = tmp_path / "in.csv", tmp_path / "out.csv"
    df.to_csv(path, index=False)
    done = run_cli(cli, "batch", str(path), "--dataset", "both", "--temperatures", "200",
                   "--out", str(out), *args)
    assert done.returncode in (0, 1), done.stderr
    return read_output(out, TEXT_COLUMNS)


def test_numbers_of_every_column_kind_give_the_command_lines_bits(cli, tmp_path):
    df = readable_wells()
    # Digits a shorter text would lose, a float32 column (widened exactly), integers, an
    # integer column with a gap, and an object column of numbers, texts and gaps.
    df["Na"] = df["Na"] * (1 + 2.0**-50)
    df["Mg"] = df["Mg"].astype(np.float32)
    df["SiO2"] = df["SiO2"].round().astype(np.int64)
    df["K"] = pd.array([179, None, 166, 221, 150], dtype="Int64")
    df["Cl"] = pd.Series([1520.0, " 1680 ", None, "1840", np.nan], dtype=object)
    ours = geofluid.evaluate(df, temperatures=200)
    assert (ours["status"] != "error").all(), ours["message"].tolist()
    # The file holds each number's shortest text: what the exact double reads back as.
    written = df.astype({"Mg": np.float64, "K": "Int64"})
    assert_same_table(ours, cli_table(cli, tmp_path, written))
    # The float32 column is taken as its double, not as the digits float32 prints.
    assert df["Mg"].astype(np.float64).iloc[0] != float(str(df["Mg"].iloc[0]))
    # An object column's numbers, texts and gaps are the float column of the same values.
    floats = df.assign(Cl=[1520.0, 1680.0, np.nan, 1840.0, np.nan])
    pd.testing.assert_frame_equal(geofluid.evaluate(floats, temperatures=200), ours)


def test_mg_per_kg_numbers_are_converted_as_the_command_line_converts_them(cli, tmp_path):
    df = readable_wells().drop(columns=["units", "steam_units"])
    ours = geofluid.evaluate(df, temperatures=200, units="mg/kg", steam_units="mmol/kg")
    theirs = cli_table(cli, tmp_path, df, "--units", "mg/kg", "--steam-units", "mmol/kg")
    assert_same_table(ours, theirs)
    # Per row, as a units column, the same numbers.
    per_row = geofluid.evaluate(df.assign(units="mg/kg", steam_units="mmol/kg"), temperatures=200)
    pd.testing.assert_frame_equal(per_row, ours)
    # Taken as molalities the same numbers are another water (every Na of 900 mol/kg fails).
    assert not ours["pH"].equals(geofluid.evaluate(df, temperatures=200)["pH"])


def test_cells_that_are_not_numbers_are_row_faults_naming_the_label():
    df = readable_wells().iloc[:4].copy()
    df.index = pd.Index(["a", "b", "c", "d"], name="well")
    df["Fe"] = [True, False, True, False]  # a bool column is no number
    df["Na"] = pd.Series([962.0, "abc", None, "<0.5"], dtype=object, index=df.index)
    df["pH"] = [8.35, 9.08, np.inf, 8.88]
    out = geofluid.evaluate(df, temperatures=200, dataset="solveq")
    msg = dict(zip(out.index, out["message"]))
    assert msg["a"] == 'row a (id NA-01): column Fe: "True" is not a number'
    # The faults in the order the reader meets them: the analysis column by column.
    assert msg["b"] == ('row b (id NA-02): column Na: "abc" is not a number; '
                        'column Fe: "False" is not a number')
    assert msg["c"] == ('row c (id NA-03): column Fe: "True" is not a number; '
                        'column pH: "inf" is not a number')
    assert (out["status"] == "error").all()
    # Without the bool column the detection limit is honoured and the gap is no Na.
    ok = geofluid.geothermometry(df.drop(columns=["Fe"]).assign(pH=8.5), temperatures="150:250:50")
    assert ok.loc["d", "below_detection"] == "Na <0.5 (0.25 used)"
    assert ok.loc["b", "error"].startswith('row b (id NA-02): column Na: "abc"')
    assert ok.loc["c", "error"] == "" and ok.loc["a", "error"] == ""


def test_a_row_of_gaps_is_no_sample_and_ids_are_text():
    df = readable_wells().iloc[:3].copy().astype({"id": object})
    df.iloc[1] = np.nan
    df.iloc[1, 0] = None
    df.iloc[2, 0] = 2**60 + 1  # beyond a double: kept as the integer's text
    out = geofluid.evaluate(df, temperatures=200)
    assert out.index.unique().tolist() == [0, 2]
    assert out["id"].unique().tolist() == ["NA-01", str(2**60 + 1)]


def test_uncertainty_gives_number_columns_whatever_the_rows():
    df = readable_wells().iloc[:2].copy()
    df.index = ["p", "q"]
    out = geofluid.uncertainty(df.assign(err_Na=["3%", "lots"]), temperatures=[200],
                               dataset="solveq", draws=6)
    assert out.loc["q", "message"] == ('row q (id NA-02): column err_Na: Na=lots: expected 3% '
                                      '(relative) or x2 (a factor)')
    numbers = ["temperature", "nominal", "median", "q05", "q95"]
    assert (out[numbers].dtypes == np.float64).all() and out["n"].dtype == np.int64
    ph = out[(out["quantity"] == "pH")].iloc[0]
    assert ph["temperature"] == 200.0 and ph["q05"] <= ph["median"] <= ph["q95"]
    solute = out[out["quantity"].str.startswith("solute_")]
    assert len(solute) > 0 and solute["temperature"].isna().all()
    assert (solute["dataset"] == "").all()
    # Every row failing leaves the columns numbers, not objects.
    failed = geofluid.uncertainty(df.assign(pH="x"), temperatures=[200], draws=3)
    assert failed["quantity"].tolist() == ["error", "error"]
    assert (failed[numbers].dtypes == np.float64).all()
    empty = geofluid.uncertainty(df.iloc[:0], draws=3)
    assert len(empty) == 0 and (empty[numbers].dtypes == np.float64).all()


def test_columns_must_be_float64_or_objects():
    from geofluid import _geofluid
    with pytest.raises(geofluid.Error, match="column pH: give float64 or object values"):
        _geofluid.run(["id", "pH"], [np.array(["a"], dtype=object), np.array([7], dtype=np.int32)],
                      [], None, "both", "mol/kg", None, True, 0, "specified", True, False)


def test_text_columns_stay_text_without_rows():
    empty = geofluid.geothermometry(readable_wells().iloc[:0], temperatures="150:250:50")
    assert len(empty) == 0
    for name in ("id", "error", "solveq_crossings", "giggenbach_class", "notes"):
        assert empty[name].dtype == object, name
    assert empty["solveq_rms"].dtype == np.float64
