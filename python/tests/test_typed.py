"""The typed objects: a Sample evaluated alone gives what evaluate() gives its row, bit for bit,
and an Evaluation's species and minerals are found by name."""
import warnings

import numpy as np
import pandas as pd
import pytest

import geofluid

ROW = {"id": "w", "pH": 8.1, "ph_temperature": 22.0, "separation": 160.0, "SiO2": 0.009,
       "Na": 0.045, "K": 0.004, "Ca": 5e-05, "Mg": 1e-07, "Al": 2e-05, "CO3(2-)": 0.0012,
       "SO4(2-)": 0.0004, "HS(-)": 0.0002, "Cl": 0.044, "CO2": 0.02, "H2S": 0.004}


def sample():
    components = {k: v for k, v in ROW.items() if k in geofluid.INPUT_COLUMNS[1:13]}
    return geofluid.Sample(id="w", pH=ROW["pH"], ph_temperature=ROW["ph_temperature"],
                           separation=ROW["separation"], components=components,
                           steam_CO2=ROW["CO2"], steam_H2S=ROW["H2S"])


def test_a_sample_evaluates_as_its_row():
    table = geofluid.evaluate(pd.DataFrame([ROW]), [180, 240])
    species = geofluid.species(pd.DataFrame([ROW]), [180, 240])
    evaluations = geofluid.evaluate_sample(sample(), [180, 240])
    assert [(e.dataset.key, e.temperature) for e in evaluations] == \
        list(zip(table["dataset"], table["temperature"]))
    for e, (_, row) in zip(evaluations, table.iterrows()):
        assert (e.pH, e.toth, e.steam_fraction, e.ionic_strength) == \
            (row["pH"], row["toth"], row["steam_fraction"], row["ionic_strength"])
        for m in e.minerals():
            assert e.mineral(m.name).si == row["SI_" + m.name], m.name
        ours = species[(species["dataset"] == e.dataset.key) &
                       (species["temperature"] == e.temperature)]
        assert [s.name for s in e.species()] == ours["species"].tolist()
        # Names as the dataset spells them ("Na        (+)").
        name = next(s.name for s in e.species() if s.name.replace(" ", "") == "Na(+)")
        na = e.species(name)
        assert na.molality == ours.set_index("species").loc[name, "molality"]
        assert na.charge == 1 and not na.switched_off
    # The measured mode at the pH temperature, one dataset.
    measured, = geofluid.evaluate_sample(sample(), dataset="supcrt")
    assert measured.temperature == ROW["ph_temperature"] and measured.pH == ROW["pH"]


def test_a_sample_reads_and_sets_components_by_key():
    s = sample()
    assert s["Na"] == 0.045 and s.components["Fe"] == 0.0 and s.separation == 160.0
    s["Fe"] = 1e-6
    s.separation = None
    assert s.components["Fe"] == 1e-6 and s.separation is None
    with pytest.raises(KeyError):
        s["Sodium"]
    with pytest.raises(geofluid.Error, match="components: 'Sodium' is not a component"):
        geofluid.Sample(components={"Sodium": 0.1})


def test_datasets_and_names_that_are_not_there():
    solveq = geofluid.dataset("solveq")
    assert solveq.key == "solveq" and "QUARTZ" in solveq.minerals
    assert set(solveq.default_minerals) <= set(solveq.minerals)
    assert geofluid.dataset("supcrt").title == "SUPCRT98"
    with pytest.raises(geofluid.Error, match="dataset='both' is not one of"):
        geofluid.dataset("both")
    e, = geofluid.evaluate_sample(sample(), 200, dataset="solveq")
    with pytest.raises(geofluid.Error, match='SOLVEQ has no mineral "TOPAZ"'):
        e.mineral("TOPAZ")
    with pytest.raises(geofluid.Error, match="temperatures"):
        geofluid.evaluate_sample(sample(), "hot")
    # A sample that cannot be evaluated is an error naming the step, not a NaN.
    bad = sample()
    bad.separation = None
    with pytest.raises(geofluid.Error, match="sample.separation: missing"):
        geofluid.evaluate_sample(bad, 200)
    assert geofluid.evaluate_sample(bad, 200, steam_correction=False)[0].steam_fraction == 0


def test_a_samples_estimate_and_uncertainty_are_its_rows():
    frame = pd.DataFrame([ROW])
    table = geofluid.geothermometry(frame, temperatures="150:300:10")
    for e in geofluid.estimate_sample(sample(), temperatures="150:300:10"):
        key = e.dataset.key
        assert (e.rms, e.median, e.mean, e.sd) == tuple(
            table.loc[0, f"{key}_{c}"] for c in ("rms", "median", "mean", "sd")), key
        # geothermometry() adds where the two interpolations part.
        assert table.loc[0, f"{key}_warnings"].startswith("; ".join(e.warnings))
        assert e.error == ""
        assert set(e.used) <= set(e.minerals) and set(e.crossings) == set(e.minerals)
    long = geofluid.uncertainty(frame, temperatures="200:300:50", dataset="supcrt", draws=16,
                                errors={"Na": "3%"}, seed=5)
    u = geofluid.uncertainty_sample(sample(), temperatures="200:300:50", dataset="supcrt",
                                    draws=16, errors=["Na=3%"], seed=5)
    value = long.set_index(["temperature", "quantity"])
    ph = u.pH("supcrt", 250)
    assert (ph.median, ph.q05, ph.q95, ph.n) == tuple(
        value.loc[(250.0, "pH"), ["median", "q05", "q95", "n"]])
    assert u.si("supcrt", 300, "QUARTZ").median == value.loc[(300.0, "SI_QUARTZ"), "median"]
    assert u.estimate("supcrt", "rms").q95 == long.set_index("quantity").loc["estimate_rms", "q95"]
    solute = long.set_index("quantity").loc["solute_quartz_fournier1977"]
    assert u.solute("quartz_fournier1977").median == solute["median"]
    with pytest.raises(geofluid.Error, match="errors: Na=zz"):
        geofluid.uncertainty_sample(sample(), errors=["Na=zz"], draws=2)
    with pytest.raises(geofluid.Error, match='has no mineral "TOPAZ"'):
        geofluid.estimate_sample(sample(), minerals=["QUARTZ", "TOPAZ"])


def test_every_typed_result_shows_its_values_in_a_session():
    e = geofluid.evaluate_sample(sample(), [200], dataset="solveq")[0]
    assert repr(e).startswith("<geofluid.Evaluation solveq at 200 °C: pH ")
    assert repr(e.species("Na(+)")).startswith("<geofluid.Species Na(+): ")
    assert repr(e.mineral("QUARTZ")).startswith("<geofluid.Mineral QUARTZ: SI ")
    assert "RMS" in repr(geofluid.estimate_sample(sample(), dataset="solveq")[0])
    u = geofluid.uncertainty_sample(sample(), [200, 250], "solveq", draws=20)
    assert repr(u).startswith("<geofluid.UncertaintyResult 20 draws")
    assert repr(u.pH("solveq", 200)).startswith("<geofluid.Interval median ")
